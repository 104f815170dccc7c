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

inline constexpr const char* kBadNameMessage = "Niedozwolony znak w imieniu lub nazwisku";

// What saving the pending row, or the action in manage mode, did.
enum class ManageResult {
  kStarted,    // a new row is pending; the first-name box takes the focus
  kSaved,      // the pending row was stored and is current
  kRefused,    // the phone or a name broke the rule (told); the row stays pending
  kDuplicate,  // the number is already listed (told in `refusal`); the row stays pending to be corrected
  kDeclined,   // another form of the number is listed and the user said NIE; the row stays pending
};

// Another row holds `number` in another form of the same subscriber
// ("+48600100200" and "600100200"); `listed` gets that form.
bool OtherFormListed(Session& session, const QString& number, QString* listed);

// Stores the pending row when its names hold no control character and
// `typed` (the phone box) is a number by the rule, at least `minLength`
// long, stored normalised. Another form of the number on the list is asked
// about first (Question::kAddAnotherForm). Anything refused leaves the row
// pending, as typed, for the user to correct.
ManageResult SaveRow(Session& session, UserInterface& ui, const QString& typed, int minLength,
                     const std::function<void()>& showField, QString* refusal);

// The action button in manage mode: starts a new row, or saves the pending
// one (SaveRow with the boxes' floor of kMinPhoneLength).
ManageResult ManageAction(Session& session, UserInterface& ui, const QString& typed,
                          const std::function<void()>& showField, QString* refusal);

// The phone box's text checked as a list number (CheckPhoneField with the
// `Tel` field's width and `minLength`) and, when taken, written into the
// pending row as it is to be stored: blanks and dashes gone, "00" become
// "+". A refusal is told and `showField` brings the user to the box; the
// row is left alone.
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
