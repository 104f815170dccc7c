#include "phonelist/list_file.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "core/testing/scripted_ui.h"
#include "core/testing/phones.h"

namespace {

TEST(ListFileTest, SplitsLinesOnTheFirstTwoSeparators) {
  struct Case {
    std::string line, first, surname, phone;
  };
  const Case cases[] = {
      {"Jan|Kowalski|600100200", "Jan", "Kowalski", "600100200"},
      {"600100200", "", "", "600100200"},
      {"Jan|600100200", "Jan", "", "600100200"},
      {"a|b|c|d", "a", "b", "c|d"},
      {" Jan | Kowalski | 600 ", " Jan ", " Kowalski ", " 600 "},
      {"||", "", "", ""},
      {"", "", "", ""},
      {"\xa3ukasz|\xaf" "ak|+48600", "\xa3ukasz", "\xaf" "ak", "+48600"},  // Windows-1250 bytes pass untouched
  };
  for (const Case& c : cases) {
    const ListLine got = SplitListLine(c.line);
    EXPECT_EQ(got.firstName, c.first) << c.line;
    EXPECT_EQ(got.surname, c.surname) << c.line;
    EXPECT_EQ(got.phone, c.phone) << c.line;
  }
}

TEST(ListFileTest, ReadsEveryKindOfLineEnd) {
  using Lines = std::vector<std::string>;
  const std::pair<std::string, Lines> cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},  // no end on the last line
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"\r\n", {""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {std::string("a\r\nb\0c\r\n", 8), {"a", "b"}},  // a byte 0 ends the file
  };
  for (const auto& [bytes, lines] : cases) EXPECT_EQ(SplitListFileLines(bytes), lines) << bytes;
}

class ListFileCommandTest : public ::testing::Test {
 protected:
  QString Path(const char* name) { return QDir(temp_.path()).filePath(name); }
  QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    return file.readAll();
  }
  void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }

  QTemporaryDir temp_;
  SessionOnTemp open_{temp_.path()};
  Session& session_ = open_.session;
  ScriptedUi ui_;
};

TEST_F(ListFileCommandTest, ExportThenImportIntoAnEmptiedListGivesTheRowsBack) {
  AddPhone(session_, "Jan", "Kowalski", "600100200", 1);
  AddPhone(session_, "\xa3ucja", "Nowak", "+48500600700", 1);
  ExportList(session_, ui_, Path("lista.dat"));
  EXPECT_EQ(ReadBytes(Path("lista.dat")), "Jan|Kowalski|600100200\r\n\xa3ucja|Nowak|+48500600700\r\n");
  EXPECT_EQ(ui_.progress, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
  EXPECT_FALSE(ui_.progressVisible);
  // It ends by telling how many went where.
  EXPECT_EQ(ui_.outcomes, std::vector<QString>{QString::fromUtf8("Wyeksportowano 2 numery do pliku %1")
                                                   .arg(QDir::toNativeSeparators(Path("lista.dat")))});

  ui_.Answer({true});
  ImportList(session_, ui_, Path("lista.dat"));
  EXPECT_EQ(ui_.dialogs.back().text, QString::fromUtf8(kImportClearQuestion));
  EXPECT_EQ(Rows(session_), (std::vector<std::string>{"2 Jan Kowalski 600100200 0", "3 \xa3ucja Nowak +48500600700 0"}));
  EXPECT_TRUE(session_.UnsavedChanges);
  EXPECT_TRUE(ui_.errors.empty());
}

TEST_F(ListFileCommandTest, ExportOfAnEmptyListWritesNothingAndFollowsTheSortOrder) {
  ExportList(session_, ui_, Path("empty.dat"));
  EXPECT_EQ(ReadBytes(Path("empty.dat")).size(), 0);

  AddPhone(session_, "B", "Zet", "111111");
  AddPhone(session_, "A", "Alfa", "222222");
  ASSERT_TRUE(session_.Dbf1().SetOrder("NazwiskoIndex").ok());
  ExportList(session_, ui_, Path("sorted.dat"));
  EXPECT_EQ(ReadBytes(Path("sorted.dat")), "A|Alfa|222222\r\nB|Zet|111111\r\n");
}

TEST_F(ListFileCommandTest, ImportPassesOverBlankLinesCutsLongFieldsAndDropsDuplicates) {
  AddPhone(session_, "Stary", "Wpis", "600100200");
  // CR-only line ends, a blank line twice, a duplicate, a line without an end.
  WriteBytes(Path("in.dat"), "Ewa|Lis|600100200\r\r|Nowy|1234567890123\r\r" + QByteArray(45, 'x') + "|b|c");
  ui_.Answer({false});
  ImportList(session_, ui_, Path("in.dat"));
  const std::vector<std::string> rows = Rows(session_);
  // Blank lines are no rows of empty fields any more, and "c" is no number.
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], "2 Stary Wpis 600100200 0");
  EXPECT_EQ(rows[1], "3  Nowy 123456789012 0");
  EXPECT_EQ(ui_.progress.front(), std::make_pair(0, 5));
  ASSERT_EQ(ui_.dialogs.size(), 2u);
  EXPECT_EQ(ui_.dialogs[1].text,
            QString::fromUtf8("Zaimportowano 1 numer, pominięto 1 wiersz z niepoprawnym numerem telefonu"));
}

// A phone is taken without its blanks and dashes; a line whose phone holds
// anything else is left out, counted, and the count told at the end. The
// length of a number is not judged here.
TEST_F(ListFileCommandTest, ImportSkipsAndCountsLinesWhoseNumberIsMalformed) {
  struct Case {
    const char* name;
    QByteArray file;
    std::vector<std::string> rows;
    const char* message;  // UTF-8
    bool notice;          // a notice (lines were left out), else an outcome
  };
  const Case cases[] = {
      {"every line taken",
       "Jan|Kowalski|+48 600-100-200\r\nEwa|Nowak| 501 222 333 \r\nAla|Lis|601\xa0" "222\x96" "444\r\n",
       {"2 Jan Kowalski +48600100200 0", "3 Ewa Nowak 501222333 0", "4 Ala Lis 601222444 0"},
       "Zaimportowano 3 numery", false},
      {"injected lines left out",
       "Jan|Kowalski|600100200\r\n"
       "Zly|Cudzyslow|600\"100\r\n"
       "Zly|Przecinek|600,100\r\n"
       "Zly|Srednik|600;AT+CPBW=001\r\n"
       "Zla|Litera|60010020a\r\n"
       "Zly|Plus|6+00\r\n"
       "Bez|Numeru|\r\n"
       "Ewa|Nowak|501222333\r\n",
       {"2 Jan Kowalski 600100200 0", "3 Ewa Nowak 501222333 0"},
       "Zaimportowano 2 numery, pominięto 6 wierszy z niepoprawnym numerem telefonu", true},
      {"nothing taken", "a|b|c\r\n|d|e\r\n", {},
       "Zaimportowano 0 numerów, pominięto 2 wiersze z niepoprawnym numerem telefonu", true},
      {"a long name is cut to its field", QByteArray(45, 'x') + "|b|600 100 200 300\r\n",
       {"2 " + std::string(40, 'x') + " b 600100200300 0"}, "Zaimportowano 1 numer", false},
  };
  for (const Case& c : cases) {
    QTemporaryDir temp;
    SessionOnTemp open{temp.path()};
    ScriptedUi ui;
    const QString path = QDir(temp.path()).filePath("in.dat");
    WriteBytes(path, c.file);
    ui.Answer({false});
    ImportList(open.session, ui, path);
    EXPECT_EQ(Rows(open.session), c.rows) << c.name;
    const QString message = QString::fromUtf8(c.message);
    if (c.notice) {
      ASSERT_EQ(ui.dialogs.size(), 2u) << c.name;
      EXPECT_EQ(ui.dialogs[1].text, message) << c.name;
      EXPECT_EQ(ui.dialogs[1].kind, kNotice) << c.name;
      EXPECT_TRUE(ui.outcomes.empty()) << c.name;
    } else {
      EXPECT_EQ(ui.dialogs.size(), 1u) << c.name << ": only the question";
      EXPECT_EQ(ui.outcomes, std::vector<QString>{message}) << c.name;
    }
    EXPECT_TRUE(ui.errors.empty()) << c.name;
  }
}

TEST_F(ListFileCommandTest, AFileThatCannotBeReadLeavesTheListAsItWas) {
  AddPhone(session_, "Jan", "Kowalski", "600100200");
  ui_.Answer({true});  // "clear the list first" — but the file is not there
  ImportList(session_, ui_, Path("missing.dat"));
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_TRUE(ui_.errors[0].contains("missing.dat"));
  EXPECT_EQ(Rows(session_).size(), 1u);

  // An export into a directory that does not exist reports and writes nothing.
  ExportList(session_, ui_, Path("no/such/dir/out.dat"));
  EXPECT_EQ(ui_.errors.size(), 2u);
  EXPECT_TRUE(ui_.outcomes.empty()) << "a failed export claims nothing";
  EXPECT_FALSE(ui_.progressVisible);
}

TEST_F(ListFileCommandTest, CancelStopsTheClearingOnlyAndThenTheImport) {
  for (int i = 0; i < 4; ++i) AddPhone(session_, "Stary", "", "60010020" + std::to_string(i));
  WriteBytes(Path("in.dat"), "a|b|700000001\r\na|b|700000002\r\na|b|700000003\r\n");
  ui_.Answer({true});
  // "ANULUJ" once during the clearing (after two deletions) and once on the
  // second line of the file.
  int updates = 0;
  ui_.onProgress = [&](int current, int total) {
    ++updates;
    if ((total == 4 && current == 2) || (total == 3 && current == 1)) session_.CancelRequested = true;
  };
  ImportList(session_, ui_, Path("in.dat"));
  // The row or line under way when "ANULUJ" came is still finished.
  const std::vector<std::string> rows = Rows(session_);
  ASSERT_EQ(rows.size(), 4u) << "two old rows stay, two lines went in";
  EXPECT_EQ(rows[2], "4 a b 700000001 0");
  EXPECT_EQ(rows[3], "5 a b 700000002 0");
  EXPECT_EQ(updates, 4);
}

}  // namespace
