#include "phonelist/list_commands.h"
#include "phonelist/marks.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/testing/scripted_ui.h"
#include "core/testing/phones.h"
#include "store/collation.h"

namespace {

class ListCommandsTest : public ::testing::Test {
 protected:
  store::Cursor& List() { return session_.Dbf1(); }
  void GoTo(const std::string& tel) {
    bool found = false;
    ASSERT_TRUE(List().Find("Tel", {tel}, {}, &found).ok());
    ASSERT_TRUE(found) << tel;
  }

  QTemporaryDir temp_;
  SessionOnTemp open_{temp_.path()};
  Session& session_ = open_.session;
  ScriptedUi ui_;
};

TEST_F(ListCommandsTest, ManageActionStartsNumbersChecksAndSavesARow) {
  std::vector<ListState> states;
  session_.DataSource1StateChange = [&](ListState state) { states.push_back(state); };
  AddPhone(session_, "Jan", "Kowalski", "600100200");
  session_.UnsavedChanges = false;
  int shown = 0;
  QString refusal;
  const auto save = [&](const char* typed) {
    return ManageAction(
        session_, ui_, QString::fromUtf8(typed), [&] { ++shown; }, &refusal);
  };

  EXPECT_EQ(save(""), ManageResult::kStarted);
  EXPECT_EQ(List().Int("ID"), 3);
  EXPECT_TRUE(session_.UnsavedChanges);

  EXPECT_EQ(save("1234"), ManageResult::kRefused);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(ui_.dialogs.back().text, QString::fromUtf8(kBadPhoneMessage));
  EXPECT_EQ(session_.listState(), ListState::kInsert) << "the row stays pending";

  WriteListField(session_, "Imie", "Ewa");
  EXPECT_EQ(save("abcde"), ManageResult::kRefused) << "five characters, but no number";
  EXPECT_EQ(ui_.dialogs.size(), 2u);
  EXPECT_EQ(save("500 400-30"), ManageResult::kSaved);
  EXPECT_EQ(List().Text("Imie"), "Ewa") << "the saved row is current";
  EXPECT_EQ(List().Text("Tel"), "50040030") << "stored without its blank and dash";
  EXPECT_FALSE(session_.UnsavedChanges);
  EXPECT_EQ(states.back(), ListState::kBrowse);
  EXPECT_NE(std::find(states.begin(), states.end(), ListState::kClosed), states.end());

  // A number already listed keeps the row as typed, for the user to correct.
  save("");
  WriteListField(session_, "Imie", "Ola");
  EXPECT_EQ(save("600-100-200"), ManageResult::kDuplicate);
  EXPECT_EQ(refusal, QString::fromUtf8("Numer 600100200 jest już na liście"));
  EXPECT_EQ(session_.listState(), ListState::kInsert);
  EXPECT_EQ(ListFieldText(session_, "Imie"), "Ola");
  EXPECT_EQ(List().RowCount(), 2);
  EXPECT_EQ(save("600100201"), ManageResult::kSaved);
  EXPECT_EQ(List().Text("Imie"), "Ola");
  EXPECT_EQ(List().RowCount(), 3);
}

// Enter takes any well-formed number, short ones too, but nothing that
// could end a field or a command on its way to the controller.
TEST_F(ListCommandsTest, EnterTakesAnyWellFormedNumberAndKeepsAMalformedOnePending) {
  struct Case {
    const char* typed;
    ManageResult result;
    const char* stored;  // the row's phone once stored
  };
  // clang-format off
  const Case cases[] = {
      {"60010020a", ManageResult::kRefused, nullptr},
      {"600\"100", ManageResult::kRefused, nullptr},
      {"600,100", ManageResult::kRefused, nullptr},
      {"600;100", ManageResult::kRefused, nullptr},
      {"6+00", ManageResult::kRefused, nullptr},
      {"1234567890123", ManageResult::kRefused, nullptr},
      {"", ManageResult::kRefused, nullptr},
      {"+48 600-100-200", ManageResult::kSaved, "+48600100200"},
      {"00 44 20 7946 000", ManageResult::kSaved, "+44207946000"},
      {"12", ManageResult::kSaved, "12"},
  };
  // clang-format on
  for (const Case& c : cases) {
    ScriptedUi ui;
    int shown = 0;
    QString refusal;
    ASSERT_TRUE(List().Append().ok()) << c.typed;
    const int rows = List().RowCount();
    const ManageResult result = SaveRow(
        session_, ui, QString::fromLatin1(c.typed), 0, [&] { ++shown; }, &refusal);
    EXPECT_EQ(result, c.result) << c.typed;
    if (c.result == ManageResult::kRefused) {
      ASSERT_EQ(ui.dialogs.size(), 1u) << c.typed;
      EXPECT_EQ(ui.dialogs[0].text, "Niepoprawny numer telefonu");
      EXPECT_EQ(shown, 1) << c.typed;
      EXPECT_EQ(session_.listState(), ListState::kInsert) << c.typed << ": the row stays for correction";
      EXPECT_EQ(List().RowCount(), rows) << c.typed;
      List().Cancel();
      continue;
    }
    EXPECT_TRUE(ui.dialogs.empty()) << c.typed;
    EXPECT_EQ(session_.listState(), ListState::kBrowse) << c.typed;
    GoTo(c.stored);
  }
}

// The `Tel` field holds 12 bytes; a box may hold more while the user types.
// Whatever a step that never sees the box posts must not be a number cut to
// fit.
TEST_F(ListCommandsTest, APhoneLongerThanTheFieldIsNeverCutIntoIt) {
  const std::pair<const char*, const char*> cases[] = {
      {"600 100 200", "600 100 200"},       // fits as typed: the grid shows the typing
      {"60010020a", "60010020a"},           // fits as typed, checked when saved
      {"+48 600-100-200", "+48600100200"},  // too wide as typed, fits as a number
      {"+48 600 100 2001", ""},             // thirteen characters even as a number
      {"600 100 200 abc 1", ""},            // too wide and no number
  };
  for (const auto& [typed, field] : cases) {
    ASSERT_TRUE(List().Append().ok());
    WriteListField(session_, "Tel", QString::fromLatin1(typed));
    EXPECT_EQ(List().Text("Tel"), field) << typed;
    List().Cancel();
  }
}

// One subscriber, one row: another form of a listed number is asked about
// (NIE keeps the row pending), the same form is refused, and a form too
// long for the field is refused naming the shorter one.
TEST_F(ListCommandsTest, AnotherFormOfAListedNumberIsAskedAbout) {
  struct Case {
    const char* listed;
    const char* typed;
    const char* country;  // "kraj"
    bool yes;             // the answer, when asked
    const char* question;  // UTF-8; nullptr: nothing asked
    ManageResult result;
  };
  // clang-format off
  const Case cases[] = {
      {"600100200", "+48 600 100 200", "48", false, "Numer +48600100200 jest już na liście jako 600100200. Dodać mimo to?", ManageResult::kDeclined},
      {"600100200", "0048600100200", "48", true, "Numer +48600100200 jest już na liście jako 600100200. Dodać mimo to?", ManageResult::kSaved},
      {"+48600100200", "48600100200", "48", false, "Numer 48600100200 jest już na liście jako +48600100200. Dodać mimo to?", ManageResult::kDeclined},
      {"+48600100200", "600100200", "48", false, "Numer 600100200 jest już na liście jako +48600100200. Dodać mimo to?", ManageResult::kDeclined},
      {"600100200", "+49600100200", "48", false, nullptr, ManageResult::kSaved},
      {"600100200", "4860010020", "48", false, nullptr, ManageResult::kSaved},  // eight digits after the code
      {"600100200", "+49600100200", "49", false, "Numer +49600100200 jest już na liście jako 600100200. Dodać mimo to?", ManageResult::kDeclined},
      {"600100200", "600 100 200", "48", false, nullptr, ManageResult::kDuplicate},
  };
  // clang-format on
  for (const Case& c : cases) {
    QTemporaryDir temp;
    QFile ini(QDir(temp.path()).filePath("selvantrix.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(QByteArray("[option]\nkraj=") + c.country + "\n");
    ini.close();
    SessionOnTemp open(temp.path());
    AddPhone(open.session, "Jan", "", c.listed);
    ScriptedUi ui;
    ui.Answer({c.yes});
    QString refusal;
    ASSERT_TRUE(open.session.Dbf1().Append().ok());
    const ManageResult result = SaveRow(open.session, ui, QString::fromUtf8(c.typed), 0, nullptr, &refusal);
    EXPECT_EQ(result, c.result) << c.typed;
    if (c.question) {
      ASSERT_EQ(ui.dialogs.size(), 1u) << c.typed;
      EXPECT_EQ(ui.dialogs[0].id, Question::kAddAnotherForm);
      EXPECT_EQ(ui.dialogs[0].text.toStdString(), c.question);
    } else {
      EXPECT_EQ(ui.unansweredQuestions + int(ui.dialogs.size()), 0) << c.typed;
    }
    EXPECT_EQ(open.session.Dbf1().RowCount(), result == ManageResult::kSaved ? 2 : 1) << c.typed;
  }

  QTemporaryDir temp;
  QFile ini(QDir(temp.path()).filePath("selvantrix.ini"));
  ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
  ini.write("[option]\nkraj=380\n");
  ini.close();
  SessionOnTemp open(temp.path());
  ASSERT_TRUE(open.session.Dbf1().Append().ok());
  ScriptedUi ui;
  EXPECT_EQ(SaveRow(open.session, ui, "+380 501 222 333", 0, nullptr, nullptr), ManageResult::kRefused);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].text.toStdString(),
            "Niepoprawny numer telefonu: +380501222333 ma więcej niż 12 znaków; wpisz go jako 501222333");
}

// A line break or another control character in a name would be a line of
// its own in every list file: refused, the row kept.
TEST_F(ListCommandsTest, ANameWithAControlCharacterIsRefused) {
  for (const char* name : {"A\r\nEvil|Guy|600999888\r\nB", "Tab\tbed", "Bell\a"}) {
    ASSERT_TRUE(List().Append().ok());
    WriteListField(session_, "Imie", QString::fromLatin1(name));
    ScriptedUi ui;
    EXPECT_EQ(SaveRow(session_, ui, "600100200", 0, nullptr, nullptr), ManageResult::kRefused) << name;
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].text, QString::fromUtf8(kBadNameMessage));
    EXPECT_EQ(List().RowCount(), 0);
    List().Cancel();
  }
}

// A new row takes one more than the highest ID: after deletions no two rows
// share one.
TEST_F(ListCommandsTest, ANewRowTakesTheNextFreeId) {
  for (const char* tel : {"111111", "222222", "333333"}) AddPhone(session_, "", "", tel);  // IDs 2, 3, 4
  GoTo("111111");
  ASSERT_TRUE(List().Delete().ok());
  AddPhone(session_, "", "", "444444");
  GoTo("444444");
  EXPECT_EQ(List().Int("ID"), 5) << "not the row count + 2, which is 4 and taken";
}

TEST_F(ListCommandsTest, SearchUsesTheFirstNonEmptyBoxByCaseSensitivePrefix) {
  AddPhone(session_, "Zofia", "kowalska", "500000001");
  AddPhone(session_, "Adam", "Kowalski", "500000002");
  AddPhone(session_, "Ewa", "Nowak", "600000003");
  struct Case {
    const char *first, *surname, *tel;
    bool found;
    std::string expectTel;
  };
  const Case cases[] = {
      {"", "Ko", "600", true, "500000002"},   {"Ew", "Ko", "", true, "600000003"},
      {"", "", "5000000", true, "500000001"}, {"", "KO", "", false, "500000001"},  // no match: the cursor stays
      {"", "", "", false, "500000001"},
  };
  GoTo("500000001");
  for (const Case& c : cases) {
    if (c.found) GoTo("500000001");
    EXPECT_EQ(SearchList(session_, c.first, c.surname, c.tel), c.found) << c.first << c.surname << c.tel;
    EXPECT_EQ(List().Text("Tel"), c.expectTel) << c.first << c.surname << c.tel;
  }
}

TEST_F(ListCommandsTest, SortingKeepsTheCurrentRow) {
  AddPhone(session_, "Zofia", "Adamska", "3");
  AddPhone(session_, "Adam", "Zieliński", "1");
  AddPhone(session_, "Ewa", "Nowak", "2");
  GoTo("2");
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {kImieIndex, {"3 Adam Zieliński 1 0", "4 Ewa Nowak 2 0", "2 Zofia Adamska 3 0"}},
      {kNazwiskoIndex, {"2 Zofia Adamska 3 0", "4 Ewa Nowak 2 0", "3 Adam Zieliński 1 0"}},
      {kTelIndex, {"3 Adam Zieliński 1 0", "4 Ewa Nowak 2 0", "2 Zofia Adamska 3 0"}},
  };
  for (const auto& [index, rows] : cases) {
    SortList(session_, index);
    EXPECT_EQ(List().Text("Tel"), "2") << index;
    EXPECT_EQ(Rows(session_), rows) << index;
    GoTo("2");
  }
}

// The select-all square goes by the marks themselves: with every row marked,
// however that came about, it unmarks them all; otherwise it marks each row
// not yet marked, once.
TEST_F(ListCommandsTest, TheSelectAllSquareGoesByTheMarksAndNeverMarksARowTwice) {
  AddPhone(session_, "A", "A", "111111");
  AddPhone(session_, "B", "B", "222222");
  Marks marks;
  marks.SetCollation(&session_.collation());
  GoTo("222222");
  ToggleMark(session_, marks);
  EXPECT_EQ(marks.Count(), 1);
  EXPECT_FALSE(AllMarked(session_, marks));

  MarkAll(session_, marks, ui_);
  EXPECT_EQ(marks.Numbers(), (std::vector<std::string>{"222222", "111111"})) << "each row once";
  EXPECT_TRUE(AllMarked(session_, marks));
  EXPECT_EQ(List().Text("Tel"), "222222") << "the current row stays";
  EXPECT_FALSE(ui_.viewsSuspended);
  MarkAll(session_, marks, ui_);
  EXPECT_EQ(marks.Count(), 0);

  // Every row marked by hand: one click unmarks them all.
  ToggleMark(session_, marks);
  GoTo("111111");
  ToggleMark(session_, marks);
  ASSERT_TRUE(AllMarked(session_, marks));
  MarkAll(session_, marks, ui_);
  EXPECT_EQ(marks.Count(), 0);
}

TEST_F(ListCommandsTest, DeleteFromListAsksDeletesTheNumbersAndCanBeStopped) {
  for (const char* tel : {"111111", "222222", "333333", "444444"}) AddPhone(session_, "X", "Y", tel);
  const auto remove = [&](const QStringList& numbers) {
    Progress progress(ui_);
    return DeleteFromList(session_, progress, numbers);
  };
  ui_.Answer({true});
  EXPECT_EQ(remove({}).problem, QString::fromUtf8(kNoMarksMessage));

  const QStringList marked = {"222222", "444444", "999999"};  // the last no longer listed
  ui_.Answer({false});
  EXPECT_EQ(remove(marked).stop, Stop::kDeclined);
  EXPECT_EQ(List().RowCount(), 4) << "NIE changes nothing";
  EXPECT_EQ(ui_.dialogs.back().id, Question::kDeleteFromList);

  ui_.Answer({true});
  const ListDeleteResult done = remove(marked);
  EXPECT_TRUE(done.Succeeded());
  EXPECT_EQ(done.deleted, 2);
  EXPECT_EQ(Rows(session_), (std::vector<std::string>{"2 X Y 111111 0", "4 X Y 333333 0"}));
  EXPECT_FALSE(ui_.viewsSuspended);
  EXPECT_FALSE(ui_.progressVisible);

  // "ANULUJ" at the first number: that one still goes, the rest stay.
  Progress progress(ui_);
  ui_.onProgress = [&](int, int) { progress.Cancel(); };
  ui_.Answer({true});
  const ListDeleteResult stopped = DeleteFromList(session_, progress, {"111111", "333333"});
  EXPECT_EQ(stopped.stop, Stop::kCancelled);
  EXPECT_EQ(stopped.deleted, 1);
  EXPECT_EQ(Rows(session_), (std::vector<std::string>{"4 X Y 333333 0"}));
}

TEST(MarksTest, FindsNumbersAsTheStoreDoes) {
  const auto collation = store::MakeLocaleCollation("pl_PL");
  Marks marks;
  marks.SetCollation(collation.get());
  marks.Append("1234567890123");  // cut to 12, as the field would
  marks.Append("600");
  marks.Append("600");
  EXPECT_TRUE(marks.Contains("123456789012"));
  EXPECT_FALSE(marks.Contains("60"));
  EXPECT_TRUE(marks.RemoveOne("600"));
  EXPECT_TRUE(marks.Contains("600"));
  EXPECT_EQ(marks.Numbers(), (std::vector<std::string>{"123456789012", "600"}));
  marks.Empty();
  EXPECT_FALSE(marks.RemoveOne("600"));
  EXPECT_EQ(marks.Count(), 0);
}

}  // namespace
