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
// "00" in front is the international prefix, the same as "+", and becomes it.
// True with that number in `normalised` (when given); false for anything
// else (letters, quotes, commas, semicolons, a "+" further in, no digit at
// all, too long), and then `normalised` is left alone.
bool NormalisePhoneNumber(const QString& typed, int maxLength, QString* normalised);

// The country whose numbers the list holds without their code, unless the
// settings file's "kraj" names another.
inline constexpr const char* kDefaultCountryCode = "48";

// Which subscriber a normalised number reaches, so that two forms of one
// number are known for one: "+48600100200", "48600100200" (the code without
// "+" before a nine-digit national number) and "600100200" give
// "600100200" for the country code "48"; any other number is its own key.
QString SubscriberKey(const QString& number, const QString& countryCode);
