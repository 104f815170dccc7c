#include "phonelist/list_commands.h"

#include <string>

#include "core/phone_number.h"
#include "core/session.h"
#include "core/user_interface.h"
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

ListUpdatesSuspended::ListUpdatesSuspended(Session& session, UserInterface& ui) : session_(session), ui_(ui) {
  session_.Dbf1().DisableControls();
  ui_.SuspendViewUpdates(true);
}

ListUpdatesSuspended::~ListUpdatesSuspended() {
  session_.Dbf1().EnableControls();
  ui_.SuspendViewUpdates(false);
}

BulkUpdateScope::BulkUpdateScope(Session& session) : session_(session) { session_.BulkUpdate = true; }

BulkUpdateScope::~BulkUpdateScope() { session_.BulkUpdate = false; }

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

void ToggleMark(Session& session) {
  if (session.BulkUpdate) return;
  store::Cursor& list = session.Dbf1();
  if (list.RowCount() == 0) return;
  const std::string tel = list.Text("Tel");
  if (session.Check(tel)) {
    session.memcheck.RemoveOne(tel);
  } else {
    session.memcheck.Append(tel);
  }
  RequireOk(list.Refresh());
}

void MarkAll(Session& session, UserInterface& ui) {
  session.SelectAll = !session.SelectAll;
  store::Cursor& list = session.Dbf1();
  const std::string id = std::to_string(list.Int("ID"));
  {
    ListUpdatesSuspended still(session, ui);
    RequireOk(list.Settle());
    for (list.First(); !list.Eof(); list.Next()) {
      const std::string tel = list.Text("Tel");
      if (session.SelectAll) {
        session.memcheck.Append(tel);
      } else {
        session.memcheck.RemoveOne(tel);
      }
    }
  }
  RequireOk(list.Refresh());
  FindExact(list, "id", id);
}

void ForEachMarked(Session& session, UserInterface& ui, ProgressScope& progress,
                   const std::function<bool(const std::string& number, int position)>& step,
                   const std::function<void()>& finish) {
  // A copy: a step may change the marks it walks.
  const std::vector<std::string> marked = session.memcheck.Numbers();
  const int total = int(marked.size());
  ListUpdatesSuspended still(session, ui);
  BulkUpdateScope bulk(session);
  int position = 1;
  for (const std::string& number : marked) {
    if (session.CancelRequested) break;
    progress.Update(position, total);
    if (step(number, position)) ++position;
    ui.ProcessEvents();
  }
  if (finish) finish();
}

void DeleteMarked(Session& session, UserInterface& ui) {
  if (ui.ShowDialog(QString::fromUtf8(kDeleteMarkedQuestion), kQuestion) != 1) return;
  if (session.memcheck.Count() == 0) {
    ui.ShowDialog(QString::fromUtf8(kNoMarksMessage), kNotice);
    return;
  }
  store::Cursor& list = session.Dbf1();
  ProgressScope progress(session, ui);
  ForEachMarked(session, ui, progress, [&](const std::string& tel, int) {
    if (FindExact(list, "TEL", tel)) RequireOk(list.Delete());
    return true;
  });
  list.First();
  // Every mark goes, also those a cancel left unprocessed.
  session.memcheck.Empty();
}

void PostPendingPhone(Session& session) {
  if (!session.DatabaseOpen() || session.listState() == ListState::kBrowse ||
      session.listState() == ListState::kClosed)
    return;
  store::Cursor& list = session.Dbf1();
  QString number;
  if (!NormalisePhoneNumber(ListFieldText(session, "Tel"), kListPhoneLength, &number)) {
    list.Cancel();
    return;
  }
  if (!list.SetText("Tel", Bytes(number)).ok() || !list.Post().ok()) list.Cancel();
}
