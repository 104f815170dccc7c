#include "phonelist/list_file.h"

#include "outcome/outcome_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <fcntl.h>
#include <unistd.h>

#include <thread>

#include "common/testing/qt_printers.h"
#include "common/windows1250.h"
#include "core/testing/phones.h"
#include "core/testing/scripted_ui.h"

namespace {

// The same text as an editor would save it in each form a list file comes in.
QByteArray Encoded(const char* utf8, ListFileEncoding encoding, bool mark = true) {
  const QString text = QString::fromUtf8(utf8);
  switch (encoding) {
    case ListFileEncoding::kUtf16LE:
      return QByteArray(mark ? "\xFF\xFE" : "") + QStringEncoder(QStringConverter::Utf16LE).encode(text);
    case ListFileEncoding::kUtf16BE:
      return QByteArray(mark ? "\xFE\xFF" : "") + QStringEncoder(QStringConverter::Utf16BE).encode(text);
    case ListFileEncoding::kUtf8: return QByteArray(mark ? "\xEF\xBB\xBF" : "") + text.toUtf8();
    case ListFileEncoding::kWindows1250: break;
  }
  return ToWindows1250(text);
}

std::string Repeat(const char* piece, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += piece;
  return out;
}

TEST(ListFileTest, SplitsLinesOnTheFirstTwoSeparators) {
  struct Case {
    const char* line;
    const char *first, *surname, *phone;
    bool complete;
  };
  const Case cases[] = {
      {"Jan|Kowalski|600100200", "Jan", "Kowalski", "600100200", true},
      {"600100200", "", "", "600100200", false},
      {"Jan|600100200", "Jan", "", "600100200", false},
      {"a|b|c|d", "a", "b", "c|d", true},
      {" Jan | Kowalski | 600 ", " Jan ", " Kowalski ", " 600 ", true},
      {"||", "", "", "", true},
      {"", "", "", "", false},
      {"Łukasz|Żak|+48600", "Łukasz", "Żak", "+48600", true},
  };
  for (const Case& c : cases) {
    const ListLine got = SplitListLine(QString::fromUtf8(c.line));
    EXPECT_EQ(got.firstName, QString::fromUtf8(c.first)) << c.line;
    EXPECT_EQ(got.surname, QString::fromUtf8(c.surname)) << c.line;
    EXPECT_EQ(got.phone, QString::fromUtf8(c.phone)) << c.line;
    EXPECT_EQ(got.complete, c.complete) << c.line;
  }
}

TEST(ListFileTest, ReadsEveryKindOfLineEnd) {
  const std::pair<QString, QStringList> cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},  // no end on the last line
      {"a\r\n\r\nb\r\n", {"a", "", "b"}},
      {"\r\n", {""}},
      {"a\r\r\nb", {"a", "", "b"}},
      {QString::fromUtf8("a\r\nb\0c\r\nd", 9), {"a", QString::fromUtf8("b\0c", 3), "d"}},  // 0 is no end
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(SplitListFileLines(text), lines) << text.toStdString();
}

// Each form a file may come in is told from its bytes; whatever is not
// recognised as Unicode is read as Windows-1250, byte by byte.
TEST(ListFileTest, TellsTheEncodingAndDecodesIt) {
  using E = ListFileEncoding;
  struct Case {
    const char* name;
    QByteArray bytes;
    E encoding;
    const char* text;  // UTF-8
  };
  // clang-format off
  const Case cases[] = {
      {"UTF-16 LE", Encoded("Łódź|Żak|1", E::kUtf16LE), E::kUtf16LE, "Łódź|Żak|1"},
      {"UTF-16 BE", Encoded("Łódź|Żak|1", E::kUtf16BE), E::kUtf16BE, "Łódź|Żak|1"},
      {"UTF-8 with its mark", Encoded("Łódź|Żak|1", E::kUtf8), E::kUtf8, "Łódź|Żak|1"},
      {"UTF-8 without a mark", Encoded("Łódź|Żak|1", E::kUtf8, false), E::kUtf8, "Łódź|Żak|1"},
      {"UTF-8 mark, ASCII only", "\xEF\xBB\xBF" "a|b|1", E::kUtf8, "a|b|1"},
      {"Windows-1250", "\xA3\xF3" "d\x9F|\xAF" "ak|1", E::kWindows1250, "Łódź|Żak|1"},
      {"ASCII", "a|b|1", E::kWindows1250, "a|b|1"},
      {"UTF-8 cut short at the end", "a\xC5", E::kWindows1250, "aĹ"},
      {"overlong UTF-8", "\xC0\x80", E::kWindows1250, "Ŕ€"},
      {"UTF-8 of a surrogate", "\xED\xA0\x80", E::kWindows1250, "í\xC2\xA0€"},
      {"undefined Windows-1250 bytes", "\x81\x83\x88\x90\x98", E::kWindows1250, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"UTF-16 LE, odd length", QByteArray("\xFF\xFE" "a\0b", 5), E::kUtf16LE, "a\xEF\xBF\xBD"},
      {"a mark alone", "\xFE\xFF", E::kUtf16BE, ""},
      {"empty", "", E::kWindows1250, ""},
  };
  // clang-format on
  for (const Case& c : cases) {
    const std::string_view bytes(c.bytes.constData(), size_t(c.bytes.size()));
    EXPECT_EQ(DetectListFileEncoding(bytes), c.encoding) << c.name;
    EXPECT_EQ(DecodeListFile(bytes), QString::fromUtf8(c.text)) << c.name;
  }
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

  ExportResult Export(const QString& path) {
    Progress progress(ui_);
    return ExportList(session_, progress, path);
  }
  ImportResult Import(const QString& path, bool strict = false) {
    Progress progress(ui_);
    ImportOptions options;
    options.strict = strict;
    return ImportList(session_, progress, path, options);
  }

  QTemporaryDir temp_;
  SessionOnTemp open_{temp_.path()};
  Session& session_ = open_.session;
  ScriptedUi ui_;
};

ImportResult ImportInto(Session& session, ScriptedUi& ui, const QString& path) {
  Progress progress(ui);
  return ImportList(session, progress, path);
}

TEST_F(ListFileCommandTest, ExportThenImportIntoAnEmptiedListGivesTheRowsBack) {
  AddPhone(session_, "Jan", "Kowalski", "600100200", 1);
  AddPhone(session_, "\xa3ucja", "Nowak", "+48500600700", 1);
  const ExportResult exported = Export(Path("lista.dat"));
  EXPECT_EQ(ReadBytes(Path("lista.dat")), "Jan|Kowalski|600100200\r\n\xa3ucja|Nowak|+48500600700\r\n");
  EXPECT_EQ(ui_.progress, (std::vector<std::pair<int, int>>{{1, 2}, {2, 2}}));
  EXPECT_FALSE(ui_.progressVisible);
  // It ends by telling how many went where.
  EXPECT_EQ(Describe(exported).text,
            QString::fromUtf8("Wyeksportowano 2 numery do pliku %1").arg(QDir::toNativeSeparators(Path("lista.dat"))));

  ui_.Answer({true});
  EXPECT_TRUE(Import(Path("lista.dat")).cleared);
  EXPECT_EQ(ui_.dialogs.back().id, Question::kClearBeforeImport);
  EXPECT_EQ(Rows(session_),
            (std::vector<std::string>{"2 Jan Kowalski 600100200 0", "3 \xa3ucja Nowak +48500600700 0"}));
  EXPECT_TRUE(session_.UnsavedChanges);
  EXPECT_TRUE(ui_.errors.empty());
}

TEST_F(ListFileCommandTest, ExportOfAnEmptyListWritesNothingAndFollowsTheSortOrder) {
  Export(Path("empty.dat"));
  EXPECT_EQ(ReadBytes(Path("empty.dat")).size(), 0);

  AddPhone(session_, "B", "Zet", "111111");
  AddPhone(session_, "A", "Alfa", "222222");
  ASSERT_TRUE(session_.Dbf1().SetOrder("NazwiskoIndex").ok());
  Export(Path("sorted.dat"));
  EXPECT_EQ(ReadBytes(Path("sorted.dat")), "A|Alfa|222222\r\nB|Zet|111111\r\n");
}

TEST_F(ListFileCommandTest, ImportPassesOverBlankLinesAndDropsDuplicates) {
  AddPhone(session_, "Stary", "Wpis", "600100200");
  // CR-only line ends, a blank line twice, the listed number in its other
  // forms, a line without an end.
  WriteBytes(Path("in.dat"),
             "Ewa|Lis|+48600100200\r\r|Nowy|123456789012\r\rAla|b|600 111 222\r0048 600 100 200\r48600100200");
  ui_.Answer({false});
  const ImportResult result = Import(Path("in.dat"));
  EXPECT_EQ(Rows(session_),
            (std::vector<std::string>{"2 Stary Wpis 600100200 0", "3  Nowy 123456789012 0", "4 Ala b 600111222 0"}));
  EXPECT_EQ(ui_.progress.front(), std::make_pair(0, 2));
  EXPECT_EQ(result.counts[LineVerdict::kOnList], 3);
  EXPECT_EQ(Describe(result).text,
            QString::fromUtf8("Zaimportowano 2 numery, pominięto 3 wiersze z numerem już na liście; puste wiersze: 2"));

  // Cleared first, the list's numbers no longer count; the file's own
  // repeats still do.
  ui_.Answer({true});
  const ImportResult cleared = Import(Path("in.dat"));
  EXPECT_EQ(Rows(session_), (std::vector<std::string>{"2 Ewa Lis +48600100200 0", "3  Nowy 123456789012 0",
                                                      "4 Ala b 600111222 0"}));
  EXPECT_EQ(cleared.counts[LineVerdict::kDuplicate], 2);
}

// The same list saved by different editors goes in as the same rows: the
// names in the list's Windows-1250, the number without its blanks and dashes.
TEST_F(ListFileCommandTest, EveryEncodingGivesTheSameRows) {
  const char* list = "Łukasz|Żółć|+48 600–100–200\r\nZofia|Źrebię|501-222-333\r\n";
  const std::vector<std::string> rows = {"2 \xa3ukasz \xaf\xf3\xb3\xe6 +48600100200 0",
                                         "3 Zofia \x8frebi\xea 501222333 0"};
  using E = ListFileEncoding;
  const std::pair<const char*, QByteArray> files[] = {
      {"UTF-16 LE", Encoded(list, E::kUtf16LE)},        {"UTF-16 BE", Encoded(list, E::kUtf16BE)},
      {"UTF-8 with its mark", Encoded(list, E::kUtf8)}, {"UTF-8 without a mark", Encoded(list, E::kUtf8, false)},
      {"Windows-1250", Encoded(list, E::kWindows1250)},
  };
  for (const auto& [name, bytes] : files) {
    QTemporaryDir temp;
    SessionOnTemp open{temp.path()};
    ScriptedUi ui;
    const QString path = QDir(temp.path()).filePath("lista.dat");
    WriteBytes(path, bytes);
    ui.Answer({false});
    const Report report = Describe(ImportInto(open.session, ui, path));
    EXPECT_EQ(Rows(open.session), rows) << name;
    EXPECT_EQ(report.text, "Zaimportowano 2 numery") << name;
    EXPECT_EQ(report.verdict, Verdict::kDone) << name;
  }
}

// Each line that cannot be a row is skipped and counted under its reason, in
// every encoding; a number is never cut, a name is cut to its field and
// counted. The summary tells it all.
TEST_F(ListFileCommandTest, ImportSkipsAndCountsLinesThatCannotBeRows) {
  using E = ListFileEncoding;
  const std::string name40(40, 'x');
  const std::string name41 = std::string(41, 'y');
  struct Case {
    const char* name;
    QByteArray file;
    std::vector<std::string> rows;
    const char* message;  // UTF-8
  };
  // clang-format off
  const Case cases[] = {
      {"every line taken",
       "Jan|Kowalski|+48 600-100-200\r\nEwa|Nowak| 501 222 333 \r\nAla|Lis|601\xa0" "222\x96" "444\r\n",
       {"2 Jan Kowalski +48600100200 0", "3 Ewa Nowak 501222333 0", "4 Ala Lis 601222444 0"},
       "Zaimportowano 3 numery"},
      {"malformed numbers",
       "Jan|Kowalski|600100200\r\n"
       "Zly|Cudzyslow|600\"100\r\n"
       "Zly|Przecinek|600,100\r\n"
       "Zly|Srednik|600;AT+CPBW=001\r\n"
       "Zla|Litera|60010020a\r\n"
       "Zly|Plus|6+00\r\n"
       "Bez|Numeru|\r\n"
       "Ewa|Nowak|501222333\r\n",
       {"2 Jan Kowalski 600100200 0", "3 Ewa Nowak 501222333 0"},
       "Zaimportowano 2 numery, pominięto 6 wierszy z niepoprawnym numerem telefonu"},
      {"numbers too long are refused, never cut",
       "a|b|1234567890123\r\na|b|+48 600 100 200 3\r\na|b|+48 600 100 200\r\na|b|123-456-789-012\r\n",
       {"2 a b +48600100200 0", "3 a b 123456789012 0"},
       "Zaimportowano 2 numery, pominięto 2 wiersze z niepoprawnym numerem telefonu"},
      {"every kind of line",
       "Jan|Kowalski|600100200\r\n"       // first name, surname, phone
       "Ewa|600100201\r\n"                // first name and phone
       "600100202\r\n"                    // a bare phone
       "\r\n"                             // nothing
       "Ala|Lis|+48 600 100 200\r\n"      // the first line's subscriber
       "0048600100201\r\n"                // the second's
       "Jan Kowalski 600100203\r\n"       // no fields: no number either
       "Jan|Ko\x01walski|600100204\r\n"   // a control character
       "|||600100205\r\n"                 // a third "|" belongs to the phone
       "Piotr||600100206\r\n",            // an empty surname
       {"2 Jan Kowalski 600100200 0", "3 Ewa  600100201 0", "4   600100202 0", "5 Piotr  600100206 0"},
       "Zaimportowano 4 numery, pominięto 2 wiersze z numerem powtórzonym w pliku, 2 wiersze z niepoprawnym numerem "
       "telefonu i 1 wiersz z niedozwolonym znakiem; puste wiersze: 1"},
      {"control characters and undefined bytes",
       "Jan|Ko\x01walski|600100200\r\nJan\t|Kowalski|600100201\r\nJan|Kowalski|600\t100202\r\n"
       "Jan|Ko\x7fwalski|600100203\r\nJan|Ko\x81walski|600100204\r\nJan|Ko\x98walski|600100205\r\n"
       "Jan|Kowalski|600100206\x1b\r\nJan|Kowalski|600100207\r\n",
       {"2 Jan Kowalski 600100207 0"}, "Zaimportowano 1 numer, pominięto 7 wierszy z niedozwolonym znakiem"},
      {"names cut to their field, in bytes of the list",
       QByteArray::fromStdString(name41 + "|" + name40 + "|600100200\r\n" + name40 + "|" + name41 + "1|600100201\r\n" +
                                 name40 + "|" + name40 + "|600100202\r\n"),
       {"2 " + std::string(40, 'y') + " " + name40 + " 600100200 0",
        "3 " + name40 + " " + std::string(40, 'y') + " 600100201 0", "4 " + name40 + " " + name40 + " 600100202 0"},
       "Zaimportowano 3 numery; skrócono za długie imię lub nazwisko w 2 wierszach"},
      {"forty Polish letters in UTF-8 fill the field and no more",
       Encoded((Repeat("Ł", 40) + "|b|1\r\n").c_str(), E::kUtf8, false),
       {"2 " + std::string(40, '\xa3') + " b 1 0"}, "Zaimportowano 1 numer"},
      {"characters the list cannot hold, from UTF-8",
       Encoded("Иван|Петров|600100200\r\nJan|Kowalski 🙂|600100201\r\nJan|\u0085|600100202\r\nJan|Kowalski|600‐100‐203\r\n",
               E::kUtf8, false),
       {"2 Jan Kowalski 600100203 0"}, "Zaimportowano 1 numer, pominięto 3 wiersze z niedozwolonym znakiem"},
      {"every reason at once, from UTF-16",
       Encoded(("a|b|1\r\nbez pól\r\na|b|x\r\na|\x01|1\r\na|b|2\r\nc|d|1\r\n" + Repeat("ą", 41) + "|b|3\r\n").c_str(),
               E::kUtf16LE),
       {"2 a b 1 0", "3 a b 2 0", "4 " + std::string(40, '\xb9') + " b 3 0"},
       "Zaimportowano 3 numery, pominięto 1 wiersz z numerem powtórzonym w pliku, 2 wiersze z niepoprawnym numerem "
       "telefonu i 1 wiersz z niedozwolonym znakiem; skrócono za długie imię lub nazwisko w 1 wierszu"},
  };
  // clang-format on
  for (const Case& c : cases) {
    QTemporaryDir temp;
    SessionOnTemp open{temp.path()};
    const QString path = QDir(temp.path()).filePath("in.dat");
    WriteBytes(path, c.file);
    ScriptedUi ui;
    ui.Answer({true});
    const Report report = Describe(ImportInto(open.session, ui, path));
    EXPECT_EQ(Rows(open.session), c.rows) << c.name;
    const QString message = QString::fromUtf8(c.message);
    EXPECT_EQ(report.text, message) << c.name;
    // Lines left out or cut are news to act on: the window shows them in a
    // notice, the command line still succeeds.
    const bool news = message.contains(u',') || message.contains(u';');
    EXPECT_EQ(report.verdict, news ? Verdict::kWarning : Verdict::kDone) << c.name;
    EXPECT_EQ(ui.dialogs.size(), 1u) << c.name << ": only the question";
  }
}

// A file that gives no row is refused before the question, so not even
// "clear first" can empty the list for it; the list stays exactly as it was.
TEST_F(ListFileCommandTest, AFileWithoutAListLeavesTheListAsItWas) {
  AddPhone(session_, "Jan", "Kowalski", "600100200", 1);
  AddPhone(session_, "Ewa", "Nowak", "501222333");
  const std::vector<std::string> before = Rows(session_);
  WriteBytes(Path("empty.dat"), "");
  WriteBytes(Path("blank.dat"), "\r\n\r\n");
  WriteBytes(Path("binary.dat"), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10", 20));
  WriteBytes(Path("elf.dat"), QByteArray("\177ELF\2\1\1\0\0\0\0\0\0\0\0\0\3\0>\0", 20));
  // UTF-16 as some editors save it, without the mark: every line holds a 0.
  WriteBytes(Path("nomark.dat"), Encoded("Jan|Kowalski|600100200\r\n", ListFileEncoding::kUtf16LE, false));
  WriteBytes(Path("bad.dat"), "Jan Kowalski 600100200\r\nJan|Kowalski|600,100\r\n");
  struct Case {
    QString path;
    const char* skipped;  // UTF-8: what the message tells was skipped
  };
  const Case cases[] = {
      {Path("empty.dat"), ""},
      {"/dev/null", ""},
      {Path("blank.dat"), ""},
      {Path("binary.dat"), " (pominięto 1 wiersz z niepoprawnym numerem telefonu i 3 wiersze z niedozwolonym znakiem)"},
      {Path("elf.dat"), " (pominięto 1 wiersz z niedozwolonym znakiem)"},
      {Path("nomark.dat"), " (pominięto 3 wiersze z niedozwolonym znakiem)"},
      {Path("bad.dat"), " (pominięto 2 wiersze z niepoprawnym numerem telefonu)"},
  };
  for (const Case& c : cases) {
    ScriptedUi ui;
    ui.Answer({true});  // "clear the list first", were it asked
    const Report report = Describe(ImportInto(session_, ui, c.path));
    EXPECT_TRUE(ui.dialogs.empty()) << c.path.toStdString() << ": nothing asked";
    EXPECT_EQ(report.verdict, Verdict::kFailed);
    EXPECT_EQ(report.text, "Plik \"" + c.path + QString::fromUtf8("\" nie zawiera żadnego wiersza do zaimportowania") +
                               QString::fromUtf8(c.skipped) + QString::fromUtf8(". Lista pozostaje bez zmian."))
        << report.text.toStdString();
    EXPECT_EQ(Rows(session_), before) << c.path.toStdString();
  }
}

// Strict: one line that would be skipped and nothing goes in, the list not
// even cleared; a clean file goes in as always.
TEST_F(ListFileCommandTest, AStrictImportTakesAllOrNothing) {
  AddPhone(session_, "Jan", "Kowalski", "600100200");
  const std::vector<std::string> before = Rows(session_);
  WriteBytes(Path("bad.dat"), "Ewa|Nowak|501222333\r\n\r\nZly|Numer|600,100\r\nAla|Lis\r\nEwa|501-222-333\r\n");
  ui_.Answer({true});
  const Report refused = Describe(Import(Path("bad.dat"), true));
  EXPECT_TRUE(ui_.dialogs.empty());
  EXPECT_EQ(refused.verdict, Verdict::kFailed);
  EXPECT_EQ(refused.text, QString::fromUtf8("Nic nie zaimportowano: plik \"") + Path("bad.dat") +
                              QString::fromUtf8("\" ma 1 wiersz z numerem powtórzonym w pliku i 2 wiersze z "
                                                "niepoprawnym numerem telefonu (pierwszy to wiersz 3). Lista pozostaje bez zmian."));
  EXPECT_EQ(Rows(session_), before);

  WriteBytes(Path("good.dat"), "Ewa|Nowak|501222333\r\n");
  EXPECT_EQ(Describe(Import(Path("good.dat"), true)).text, "Zaimportowano 1 numer");
  EXPECT_EQ(Rows(session_), std::vector<std::string>{"2 Ewa Nowak 501222333 0"});
}

TEST_F(ListFileCommandTest, AFileThatCannotBeReadLeavesTheListAsItWas) {
  AddPhone(session_, "Jan", "Kowalski", "600100200");
  ui_.Answer({true});  // "clear the list first" — but the file is not there
  EXPECT_EQ(
      Describe(Import(Path("missing.dat"))).text,
      QString::fromUtf8("Nie można odczytać pliku \"%1\": nie ma takiego pliku ani katalogu").arg(Path("missing.dat")));
  EXPECT_EQ(Rows(session_).size(), 1u);

  // An export into a directory that does not exist reports and writes nothing.
  const Report report = Describe(Export(Path("no/such/dir/out.dat")));
  EXPECT_EQ(report.verdict, Verdict::kFailed) << "a failed export claims nothing";
  EXPECT_TRUE(report.text.startsWith(QString::fromUtf8("Nie można zapisać pliku"))) << report.text.toStdString();
  EXPECT_FALSE(ui_.progressVisible);
}

// What is there and is no regular file (a pipe, a device) is written into,
// not replaced by a file renamed over it, and its failure is told with the
// cause.
TEST_F(ListFileCommandTest, ExportIntoAPipeOrADeviceWritesThroughIt) {
  AddPhone(session_, "Jan", "Kowalski", "600100200");
  const QString fifo = Path("pipe");
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  // The reader opens the pipe by a second name, which stays the pipe even
  // should the export put a file in place of the first.
  const QByteArray same = QFile::encodeName(Path("same-pipe"));
  ASSERT_EQ(link(QFile::encodeName(fifo).constData(), same.constData()), 0);
  QByteArray received;
  std::thread reader([&] {
    QFile file(QFile::decodeName(same));
    if (file.open(QIODevice::ReadOnly)) received = file.readAll();
  });
  const ExportResult piped = Export(fifo);
  // Should the export not have opened the pipe, a writer of our own lets the
  // reader's open return, so a failure fails instead of hanging.
  const int unblock = ::open(same.constData(), O_WRONLY | O_NONBLOCK);
  if (unblock >= 0) ::close(unblock);
  reader.join();
  EXPECT_TRUE(piped.Succeeded());
  EXPECT_EQ(received, "Jan|Kowalski|600100200\r\n");
  struct stat info {};
  ASSERT_EQ(lstat(QFile::encodeName(fifo).constData(), &info), 0);
  // Only an export known to leave what is there in place may be let at
  // /dev/full: run as root, one that renames would put a file there.
  ASSERT_TRUE(S_ISFIFO(info.st_mode));

  QString error;
  EXPECT_TRUE(WriteListFile("/dev/null", "Jan|Kowalski|600100200\r\n", &error)) << error.toStdString();
  const QString full = Describe(Export("/dev/full")).text;
  EXPECT_TRUE(full.startsWith(QString::fromUtf8("Nie można zapisać pliku \"/dev/full\": "))) << full.toStdString();
  EXPECT_GT(full.size(), QString::fromUtf8("Nie można zapisać pliku \"/dev/full\": ").size()) << "the cause";
  EXPECT_FALSE(QFileInfo("/dev/full").isFile());
}

// "ANULUJ" on the second line of the file: an import that replaces the
// list leaves the old one whole; one that adds keeps what it added.
TEST_F(ListFileCommandTest, CancelLeavesTheOldListOrWhatWasAdded) {
  for (int i = 0; i < 4; ++i) AddPhone(session_, "Stary", "", "60010020" + std::to_string(i));
  const std::vector<std::string> old = Rows(session_);
  WriteBytes(Path("in.dat"), "a|b|700000001\r\na|b|700000002\r\na|b|700000003\r\n");
  for (const bool clear : {true, false}) {
    ui_.Answer({clear});
    Progress progress(ui_);
    ui_.onProgress = [&](int current, int total) {
      if (total == 3 && current == 1) progress.Cancel();
    };
    const ImportResult result = ImportList(session_, progress, Path("in.dat"));
    EXPECT_EQ(result.stop, Stop::kCancelled);
    const Report report = Describe(result);
    EXPECT_EQ(report.verdict, Verdict::kStopped);
    std::vector<std::string> want = old;
    if (clear) {
      EXPECT_EQ(report.text.toStdString(), "Przerwano import. Lista pozostaje bez zmian.");
    } else {
      // The line under way when "ANULUJ" came is still finished.
      want.push_back("6 a b 700000001 0");
      want.push_back("7 a b 700000002 0");
    }
    EXPECT_EQ(Rows(session_), want) << (clear ? "replacing" : "adding");
  }
}

}  // namespace
