#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <utility>

#include "core/result.h"

class Link;
class Progress;
struct Reply;

inline constexpr const char* kReadClearQuestion = "Czy przed odczytem usunąć listę telefonów";
inline constexpr const char* kReadOnQuestion = "Czytać dalej?";
inline constexpr const char* kFormatQuestion =
    "Operacja usunie wszystkie numery telefonów ze sterownika. Czy kontynuować?";

// The controller's phone slots, 002..2000: a read and a verify look at all of them.
inline constexpr int kFirstListSlot = 2;
inline constexpr int kLastListReadSlot = 2000;
inline constexpr int kLastListVerifySlot = kLastListReadSlot;
inline constexpr int kPhoneSlots = kLastListReadSlot - kFirstListSlot + 1;

// The phonebook's command lines.
QString SlotWriteLine(int slot, const QString& tel);
QString AddLine(const QString& tel);
QString DeleteLine(const QString& tel);
// The end-of-list entry: a slot written with the number that ends a read.
QString EndOfListLine(int slot);
QString ReadSlotLine(int slot);

// How a write places the numbers.
enum class WriteMode {
  kWholeList,  // into slots from 002 in the given order, the end-of-list entry after the last
  kAdd,        // each by the add line: the controller finds it a slot
};

// What a write or a delete did.
struct TransferResult : CommandResult {
  enum class Kind { kWholeList, kAdd, kDelete } kind = Kind::kWholeList;
  int asked = 0;        // the numbers given, blanks left out
  int done = 0;         // the numbers the controller confirmed
  QStringList notDone;  // the numbers it did not (refused, unanswered, not sent or not reached)
  int lastSlot = 0;     // a whole-list write: the last slot it wrote into; 0 when none
  int endMarkSlot = 0;  // where the end-of-list entry was confirmed; 0 when nowhere
};

// "ZAPISZ DO STEROWNIKA PRZEZ COM": `numbers` into the controller. A dead
// line (three lines unanswered, a lost port) or a cancel stops it; a whole
// list still ends right after the last number the controller confirmed. More
// numbers than the controller's 1999 slots are refused before anything is sent.
TransferResult WriteNumbers(Link& link, Progress& progress, const QStringList& numbers, WriteMode mode);
// WriteNumbers on a port the caller has opened, over numbers none of which
// is blank; adds to what `result` holds. The rows of the numbers the
// controller took end confirmed; a whole list also leaves every other row
// unconfirmed.
void SendNumbers(Link& link, Progress& progress, const QStringList& numbers, WriteMode mode, TransferResult* result);
// "USUŃ ZE STEROWNIKA PRZEZ COM": `numbers` out of the controller, and each
// one the controller confirmed out of the list too; the rest stay, to be
// tried again.
TransferResult DeleteNumbers(Link& link, Progress& progress, const QStringList& numbers);

// What a walk of the phonebook slots found: how it ended and, when it
// stopped at an empty slot with numbers past it that it did not read on
// to, where.
struct ScanResult : CommandResult {
  int entries = 0;   // slots that held a number
  int lastSlot = 0;  // the last of them
  int holeSlot = 0;  // the empty slot the walk stopped at, with numbers past it
  int pastHole = 0;  // how many it saw there
};

// Walks the slots from 002 to `last` (reading on past an empty one where the
// user asks to) until an empty slot ends the phonebook, the controller fails
// or the user cancels; `onEntry` gets each slot that holds a number, with
// its entry. The port is the caller's to open.
ScanResult ScanSlots(Link& link, Progress& progress, int last, int progressTotal,
                     const std::function<void(int slot, const Reply& entry)>& onEntry);

// Each row of the list ends confirmed exactly when `held` has its number.
// Only rows whose flag changes are written: every write appends a row image
// to the file, and a list verified daily must not grow by a row a day.
void ConfirmExactly(Link& link, Progress& progress, const QSet<QByteArray>& held);

// What a list read did.
struct ReadResult : ScanResult {
  bool cleared = false;  // the user asked for the list to be replaced
  bool stored = false;   // what was read went into the list
};
// "ODCZYTAJ ZE STEROWNIKA PRZEZ COM": slots 002..2000 until the first empty
// one, into the list. A list the user asked to replace is replaced only by a
// read that ended well (names kept for the numbers the controller holds);
// a read that stopped leaves it as it was. Without replacing, what was read
// goes in, also when the read stopped.
ReadResult ReadList(Link& link, Progress& progress);

// The phonebook as a list read takes it, each slot with its number as the
// controller sent it, the slots of the controller's settings left out;
// nothing is stored. The port is the caller's to open.
ScanResult ReadPhonebook(Link& link, Progress& progress, int lastSlot, QList<std::pair<int, QByteArray>>* entries);

// What a verify found.
struct VerifyResult : ScanResult {
  int confirmed = 0;  // rows whose number the controller holds
  int missing = 0;    // rows whose number it does not
  int added = 0;      // numbers only the controller held, now rows of the list
};
// "WERYFIKUJ LISTĘ TELEFONÓW PRZEZ COM": slots 002..2000 confirm what the
// controller holds; when the whole phonebook was read, every other number
// ends unconfirmed, while a verify that stopped leaves the rows it did not
// reach as they were. Only rows whose flag changes are written.
VerifyResult VerifyList(Link& link, Progress& progress);

// What a format did; its tally counts the slots cleared.
struct FormatResult : CommandResult {};
// "FORMATUJ PAMIĘĆ STEROWNIKA PRZEZ COM": clears slots 002..2000, after asking.
FormatResult FormatMemory(Link& link, Progress& progress);
