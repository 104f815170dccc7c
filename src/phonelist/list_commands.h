#pragma once

#include <QString>
#include <functional>

#include "core/result.h"
#include "core/store_errors.h"

class Marks;
class Progress;
class Session;
class UserInterface;

inline constexpr const char* kDeleteMarkedQuestion =
    "Operacja usunie zaznaczone numery telefonów z listy. Czy kontynuować?";

// Index names the list can be ordered by.
inline constexpr const char* kImieIndex = "ImieIndex";
inline constexpr const char* kNazwiskoIndex = "NazwiskoIndex";
inline constexpr const char* kTelIndex = "TelIndex";

// What the action in manage mode did.
enum class ManageResult {
  kStarted,    // a new row is pending; the first-name box takes the focus
  kSaved,      // the pending row was stored and is current
  kRefused,    // the phone check refused; the row stays pending
  kDuplicate,  // the number is already listed; the row stays pending to be corrected
};
// The action button in manage mode; `checkPhone` checks the phone box and
// puts the number it takes into the row (TakePhoneBox).
ManageResult ManageAction(Session& session, const std::function<bool()>& checkPhone);

// The phone box's text checked as a list number (CheckPhoneField with the
// `Tel` field's width and `minLength`) and, when taken, written into the
// pending row as it is to be stored: blanks and dashes gone. A refusal is
// told and `showField` brings the user to the box; the row is left alone.
bool TakePhoneBox(Session& session, UserInterface& ui, const QString& typed, int minLength,
                  const std::function<void()>& showField);

// The action in search mode: a prefix find on the first non-empty box.
// True when a row was found and made current.
bool SearchList(Session& session, const QString& firstName, const QString& surname, const QString& phone);

// Typing into a data-bound box: starts an edit (or a new row on an empty
// list) and writes the box's text into the field. A phone longer than the
// `Tel` field is never cut into it: it goes in normalised when that fits,
// and as nothing otherwise, so no cut number can be saved by a step that
// does not see the box.
void WriteListField(Session& session, const char* field, const QString& text);
// The field of the current (or pending) row as a box shows it.
QString ListFieldText(Session& session, const char* field);

// What Enter in the phone box did.
enum class PhoneBoxResult {
  kDone,       // the pending row was stored, or there was none
  kBadNumber,  // the number is malformed: told, the row stays pending
  kRefused,    // the number is already listed (told in `refusal`); the row stays pending
};
// Enter in the phone box: posts a pending row with no length floor, but only
// with a well-formed number that fits the field (TakePhoneBox with no
// minimum), stored normalised.
PhoneBoxResult PostFromPhoneBox(Session& session, UserInterface& ui, const QString& typed,
                                const std::function<void()>& showField, QString* refusal);

// Orders the list by an index, keeping the current row current.
void SortList(Session& session, const char* indexName);

// Marks or unmarks the current row.
void ToggleMark(Session& session, Marks& marks);
// Whether every row of the list is marked (and there is one).
bool AllMarked(Session& session, const Marks& marks);
// The select-all square: when every row is marked, every mark goes;
// otherwise every row not marked yet is marked, once.
void MarkAll(Session& session, Marks& marks, UserInterface& ui);

// What "USUŃ Z LISTY" did.
struct ListDeleteResult : CommandResult {
  int deleted = 0;
};
// "USUŃ Z LISTY": after asking, deletes the rows holding `numbers`.
ListDeleteResult DeleteFromList(Session& session, Progress& progress, const QStringList& numbers);

// The close step's save of a row being typed; a refusal drops the row, and
// so does a phone that is no well-formed number (nobody is there to fix it).
void PostPendingPhone(Session& session);
