#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <utility>

class CommandTally;
class Link;
enum class Outcome;
class Session;
class UserInterface;

inline constexpr const char* kReadClearQuestion = "Czy przed odczytem usunąć listę telefonów";
inline constexpr const char* kReadOnQuestion = "Czytać dalej?";
inline constexpr const char* kFormatQuestion =
    "Operacja usunie wszystkie numery telefonów ze sterownika. Czy kontynuować?";

// A list read looks at slots 002..2000, a verify at 002..1000.
inline constexpr int kLastListReadSlot = 2000;
inline constexpr int kLastListVerifySlot = 1000;

enum class TransferMode { kWrite, kDelete };

// Sends one phonebook line and waits for its reply: an empty `tel` is the
// end-of-list entry, otherwise a delete, an add (`partial`) or a write into
// `slot`.
// The outcome is added to `tally`.
Outcome SendListEntry(Link& link, const QString& slot, const QString& tel, bool partial, bool remove,
                      CommandTally& tally);

// "ZAPISZ DO STEROWNIKA PRZEZ COM" / "USUŃ ZE STEROWNIKA PRZEZ COM": the
// marked numbers into the controller's slots from 002, or out of it (and
// out of the list). Every mark is dropped at the end.
void TransferMarked(Link& link, UserInterface& ui, TransferMode mode);

// "ODCZYTAJ ZE STEROWNIKA PRZEZ COM": slots 002..2000 until the first empty
// one, into the list (optionally emptied first).
void ReadList(Link& link, UserInterface& ui);

// The phonebook entries from slot 002 as a list read takes them (up to the
// first empty slot; past it only when the user answers kReadOnQuestion
// TAK), each slot with its number as the controller sent it. What is stored
// meanwhile is the link's storing's business. False when the controller
// refused or fell silent (the user has been told) or the user cancelled.
// The port is the caller's to open.
bool ReadPhonebook(Link& link, UserInterface& ui, int lastSlot, QList<std::pair<int, QByteArray>>* entries);

// "WERYFIKUJ LISTĘ TELEFONÓW PRZEZ COM": slots 002..1000 confirm what the
// controller holds, and every other number ends unconfirmed. Only rows whose
// flag changes are written.
void VerifyList(Link& link, UserInterface& ui);

// "FORMATUJ PAMIĘĆ STEROWNIKA PRZEZ COM": clears slots 002..2000.
void FormatMemory(Link& link, UserInterface& ui);
