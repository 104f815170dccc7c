#include "phonelist/list_commands.h"

#include <algorithm>
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

namespace {

bool HasControl(const std::string& bytes) {
  return std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

}  // namespace

bool OtherFormListed(Session& session, const QString& number, QString* listed) {
  store::Cursor& list = session.Dbf1();
  const QString key = SubscriberKey(number, session.countryCode());
  // The row being changed is no other row, whatever it held before.
  const int self = list.state() == store::Cursor::State::kEdit ? list.Position() : -1;
  for (int position = 1; position <= list.RowCount(); ++position) {
    if (position == self) continue;
    const QString tel = FromWindows1250(QByteArray::fromStdString(list.TextAt(position, "Tel")));
    if (tel.isEmpty() || tel == number || SubscriberKey(tel, session.countryCode()) != key) continue;
    *listed = tel;
    return true;
  }
  return false;
}

ManageResult SaveRow(Session& session, UserInterface& ui, const QString& typed, int minLength,
                     const std::function<void()>& showField, QString* refusal) {
  store::Cursor& list = session.Dbf1();
  try {
    // A line break in a name would be a line of its own in every list file
    // the row goes into, and one that a later import takes for a phone.
    if (HasControl(list.Text("Imie")) || HasControl(list.Text("Nazwisko"))) {
      ui.ShowNotice(QString::fromUtf8(kBadNameMessage));
      return ManageResult::kRefused;
    }
    if (!TakePhoneBox(session, ui, typed, minLength, showField)) return ManageResult::kRefused;
    const QString number = ListFieldText(session, "Tel");
    QString listed;
    // Some installers keep both forms on purpose, not knowing how the
    // controller compares a caller's number: asked, NIE by default.
    if (OtherFormListed(session, number, &listed) &&
        !ui.Ask(Question::kAddAnotherForm,
                QString::fromUtf8("Numer %1 jest już na liście jako %2. Dodać mimo to?").arg(number, listed))) {
      return ManageResult::kDeclined;
    }
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
    if (e.refusal() && list.IsOpen()) {
      if (refusal) *refusal = DuplicatePhoneMessage(ListFieldText(session, "Tel"));
      return ManageResult::kDuplicate;
    }
    if (list.IsOpen()) list.Cancel();
    throw;
  }
}

ManageResult ManageAction(Session& session, UserInterface& ui, const QString& typed,
                          const std::function<void()>& showField, QString* refusal) {
  if (session.listState() == ListState::kBrowse) {
    RequireOk(session.Dbf1().Append());
    return ManageResult::kStarted;
  }
  return SaveRow(session, ui, typed, kMinPhoneLength, showField, refusal);
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
  // A form too long for the field that has a shorter one (the national
  // number without a long country code) is refused with that one named.
  if (NormalisePhoneNumber(typed, kAnyPhoneLength, &number) && number.size() > kListPhoneLength) {
    const QString shorter = SubscriberKey(number, session.countryCode());
    if (shorter != number && shorter.size() == 9) {
      ui.ShowNotice(QString::fromUtf8("Niepoprawny numer telefonu: %1 ma więcej niż %2 znaków; wpisz go jako %3")
                        .arg(number)
                        .arg(kListPhoneLength)
                        .arg(shorter));
      if (showField) showField();
      return false;
    }
  }
  if (!CheckPhoneField(ui, typed, minLength, kListPhoneLength, &number, showField)) return false;
  WriteListField(session, "Tel", number);
  return true;
}

QString ListFieldText(Session& session, const char* field) {
  return FromWindows1250(QByteArray::fromStdString(session.Dbf1().Text(field)));
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
