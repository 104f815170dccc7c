#pragma once

#include <QString>
#include <limits>

// How many characters a number may have where it is kept: the list's `Tel`
// field, and the configuration's phone boxes (the national number, after the
// "+48" printed beside them).
inline constexpr int kListPhoneLength = 12;
inline constexpr int kSettingsPhoneLength = 9;
// For a caller that leaves the length to someone else.
inline constexpr int kAnyPhoneLength = std::numeric_limits<int>::max();

// The one rule for a phone number, wherever it comes from (a box, a command
// line, a list file) and wherever it goes (the list, the settings, a line to
// the controller). A number goes into controller command lines as it stands,
// inside quotes and between commas, so anything but digits could end the
// field and start another command.
//
// Blanks (space, tab, no-break spaces) and dashes (hyphen-minus, the Unicode
// hyphens, figure and en dash, minus sign) anywhere in `typed` are dropped.
// What is left must be one or more ASCII digits, with an optional "+" in
// front, and at most `maxLength` characters long: it is never cut to fit.
// True with that number in `normalised` (when given); false for anything
// else (letters, quotes, commas, semicolons, a "+" further in, no digit at
// all, too long), and then `normalised` is left alone.
bool NormalisePhoneNumber(const QString& typed, int maxLength, QString* normalised);
