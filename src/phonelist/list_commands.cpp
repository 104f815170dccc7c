#include "phonelist/list_commands.h"

#include <string>

#include "core/phone_number.h"
#include "core/session.h"
#include "core/user_interface.h"
#include "phonelist/marks.h"
#include "common/windows1250.h"
#include "store/cursor.h"

namespace {

std::string Bytes(const QString& text) { return ToWindows1250(text).toStdString(); }

bool IsPhoneField(const char* field) { return qstricmp(field, "Tel") == 0; }

bool FindExact(store::Cursor& cursor, const char* field, const std::string& value) {
  bool found = false;
  RequireOk(cursor.Find(field, {value}, {}, &found));
  return found;
}

}  // namespace

ManageResult ManageAction(Session& session, const std::function<bool()>& checkPhone) {
  store::Cursor& list = session.Dbf1();
  if (session.listState() == ListState::kBrowse) {
    RequireOk(list.Append());
    return ManageResult::kStarted;
  }
  try {
    if (checkPhone && !checkPhone()) return ManageResult::kRefused;
    RequireOk(list.Post());
    // Opened afresh so the view shows the row as stored, then found again
    // so the saved row is the current one.
    const std::string id = std::to_string(list.Int("ID"));
    session.CloseList();
    if (!session.OpenList()) throw StoreError("Nie można otworzyć tabeli telefony", false);
    FindExact(list, "id", id);
    session.UnsavedChanges = false;
    return ManageResult::kSaved;
  } catch (const StoreError& e) {
    // A number already on the list keeps the row as typed, for the user to
    // correct; a failing file is another matter and must not pass for that.
    if (e.refusal() && list.IsOpen()) return ManageResult::kDuplicate;
    if (list.IsOpen()) list.Cancel();
    throw;
  }
}

bool SearchList(Session& session, const QString& firstName, const QString& surname, const QString& phone) {
  const char* field = nullptr;
  QString text;
  if (!firstName.isEmpty()) {
    field = "Imie";
    text = firstName;
  } else if (!surname.isEmpty()) {
    field = "Nazwisko";
    text = surname;
  } else if (!phone.isEmpty()) {
    field = "TEL";
    text = phone;
  } else {
    return false;
  }
  bool found = false;
  RequireOk(session.Dbf1().Find(field, {Bytes(text)}, {.prefix = true}, &found));
  return found;
}

void WriteListField(Session& session, const char* field, const QString& text) {
  store::Cursor& list = session.Dbf1();
  if (list.state() == store::Cursor::State::kBrowse) RequireOk(list.Edit());
  std::string bytes = Bytes(text);
  if (IsPhoneField(field) && bytes.size() > size_t(kListPhoneLength)) {
    // The store would cut it, and a cut well-formed number is a wrong one
    // that passes every check.
    QString number;
    bytes = NormalisePhoneNumber(text, kListPhoneLength, &number) ? Bytes(number) : std::string();
  }
  RequireOk(list.SetText(field, bytes));
}

bool TakePhoneBox(Session& session, UserInterface& ui, const QString& typed, int minLength,
                  const std::function<void()>& showField) {
  QString number;
  if (!CheckPhoneField(ui, typed, minLength, kListPhoneLength, &number, showField)) return false;
  WriteListField(session, "Tel", number);
  return true;
}

QString ListFieldText(Session& session, const char* field) {
  return FromWindows1250(QByteArray::fromStdString(session.Dbf1().Text(field)));
}

PhoneBoxResult PostFromPhoneBox(Session& session, UserInterface& ui, const QString& typed,
                                const std::function<void()>& showField, QString* refusal) {
  if (session.listState() == ListState::kBrowse) return PhoneBoxResult::kDone;
  // No length floor on this path, but nothing that could break a command line.
  if (!TakePhoneBox(session, ui, typed, 0, showField)) return PhoneBoxResult::kBadNumber;
  const store::Status s = session.Dbf1().Post();
  if (s.ok()) return PhoneBoxResult::kDone;
  if (!IsRefusal(s)) RequireOk(s);
  if (refusal) *refusal = DuplicatePhoneMessage(ListFieldText(session, "Tel"));
  return PhoneBoxResult::kRefused;
}

void SortList(Session& session, const char* indexName) {
  store::Cursor& list = session.Dbf1();
  const std::string id = std::to_string(list.Int("ID"));
  RequireOk(list.SetOrder(indexName));
  FindExact(list, "id", id);
}

void ToggleMark(Session& session, Marks& marks) {
  store::Cursor& list = session.Dbf1();
  if (list.RowCount() == 0) return;
  const std::string tel = list.Text("Tel");
  if (marks.Contains(tel)) {
    marks.RemoveOne(tel);
  } else {
    marks.Append(tel);
  }
  RequireOk(list.Refresh());
}

bool AllMarked(Session& session, const Marks& marks) {
  store::Cursor& list = session.Dbf1();
  const int rows = list.RowCount();
  if (rows == 0 || marks.Count() < rows) return false;
  for (int position = 1; position <= rows; ++position) {
    if (!marks.Contains(list.TextAt(position, "Tel"))) return false;
  }
  return true;
}

void MarkAll(Session& session, Marks& marks, UserInterface& ui) {
  store::Cursor& list = session.Dbf1();
  const std::string id = std::to_string(list.Int("ID"));
  {
    ListUpdatesSuspended still(session, ui);
    RequireOk(list.Settle());
    // Worked out from the marks themselves, so a list marked row by row
    // unmarks at one click, and a row is never marked twice.
    if (AllMarked(session, marks)) {
      marks.Empty();
    } else {
      for (list.First(); !list.Eof(); list.Next()) {
        const std::string tel = list.Text("Tel");
        if (!marks.Contains(tel)) marks.Append(tel);
      }
    }
  }
  RequireOk(list.Refresh());
  FindExact(list, "id", id);
}

ListDeleteResult DeleteFromList(Session& session, Progress& progress, const QStringList& numbers) {
  ListDeleteResult result;
  if (!progress.Ask(Question::kDeleteFromList, QString::fromUtf8(kDeleteMarkedQuestion))) {
    result.Fail(Stop::kDeclined);
    return result;
  }
  if (numbers.isEmpty()) {
    result.Fail(Stop::kBadInput, QString::fromUtf8(kNoMarksMessage));
    return result;
  }
  store::Cursor& list = session.Dbf1();
  {
    ListUpdatesSuspended still(session, progress.ui());
    int position = 0;
    for (const QString& tel : numbers) {
      if (progress.Cancelled()) {
        result.Fail(Stop::kCancelled);
        break;
      }
      progress.Update(++position, int(numbers.size()));
      if (FindExact(list, "TEL", Bytes(tel))) {
        RequireOk(list.Delete());
        ++result.deleted;
      }
      progress.ProcessEvents();
    }
  }
  list.First();
  return result;
}

void PostPendingPhone(Session& session) {
  if (!session.DatabaseOpen() || session.listState() == ListState::kBrowse || session.listState() == ListState::kClosed)
    return;
  store::Cursor& list = session.Dbf1();
  QString number;
  if (!NormalisePhoneNumber(ListFieldText(session, "Tel"), kListPhoneLength, &number)) {
    list.Cancel();
    return;
  }
  if (!list.SetText("Tel", Bytes(number)).ok() || !list.Post().ok()) list.Cancel();
}
