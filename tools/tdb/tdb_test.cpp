#include "tdb/tdb.h"

#include <gtest/gtest.h>
#include <unicode/uloc.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "store/cursor.h"
#include "store/database.h"
#include "store/format.h"
#include "store/testing/temp_dir.h"
#include "store/testing/whole_text_order.h"

namespace {

struct Outcome {
  int code;
  std::string out, err;
};

Outcome Tdb(const std::vector<std::string>& args, const std::string& input = {}) {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int code = RunTdb(args, in, out, err);
  return {code, out.str(), err.str()};
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytesAt(const std::string& path, std::int64_t offset, const std::string& bytes) {
  std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(offset);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string Int32Bytes(std::int32_t value) {
  std::string bytes(4, '\0');
  store::PutInt32(bytes.data(), value);
  return bytes;
}

// The first value of each line: the ID column of telefony.
std::vector<std::string> FirstColumn(const std::string& lines) {
  std::vector<std::string> ids;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) ids.push_back(line.substr(0, line.find('\t')));
  return ids;
}

// The third value of each line: Nazwisko in telefony.
std::vector<std::string> ThirdColumn(const std::string& lines) {
  std::vector<std::string> values;
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    const size_t first = line.find('\t'), second = line.find('\t', first + 1);
    values.push_back(line.substr(second + 1, line.find('\t', second + 1) - second - 1));
  }
  return values;
}

// telefony, the first table, starts right after the fixed part of the file.
constexpr std::int64_t kPhones = store::kFirstTableOffset;

class TdbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The store orders texts by the user's locale, and the configurator's
    // users run it in Polish; the machine running the tests may not.
    UErrorCode status = U_ZERO_ERROR;
    uloc_setDefault("pl_PL", &status);
    ASSERT_TRUE(U_SUCCESS(status));
    ASSERT_EQ(Tdb({"init", db_}).code, 0);
  }

  void AppendPhones(const std::string& lines) {
    const Outcome r = Tdb({"append", db_, "telefony", "-"}, lines);
    ASSERT_EQ(r.code, 0) << r.err;
  }
  // Where row `n` of telefony starts, read from its record tab.
  std::int64_t PhoneRowAt(std::int32_t n) {
    const std::string bytes = ReadBytes(db_);
    const std::int32_t tab = store::GetInt32(bytes.data() + kPhones + store::TableHeader::kRecordTabAt);
    return store::GetInt32(bytes.data() + store::RecordItemOffset(tab, n));
  }

  store::testing::TempDir dir_;
  const std::string db_ = dir_.File("selvantrixx.tdb");
};

TEST_F(TdbTest, InitMakesTheConfiguratorSchemaAndInfoShowsIt) {
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1) << "temporary files left behind";
  const Outcome r = Tdb({"info", db_});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out,
            "version 2.0\n"
            "table telefony\n"
            "  rows 0 live, 0 appended\n"
            "  field ID 3 0\n"
            "  field Imie 1 40\n"
            "  field Nazwisko 1 40\n"
            "  field Tel 1 12\n"
            "  field ST 3 0\n"
            "  index TelIndex options 2 (unique) fields Tel\n"
            "  index NazwiskoIndex options 0 fields Nazwisko\n"
            "  index ImieIndex options 0 fields Imie\n"
            "table config\n"
            "  rows 0 live, 0 appended\n"
            "  field key 1 40\n"
            "  field value 1 40\n"
            "table raporty\n"
            "  rows 0 live, 0 appended\n"
            "  field Tel 1 10\n"
            "  field Data 1 18\n");
}

TEST_F(TdbTest, InitNeverReplacesAnExistingFile) {
  const std::string other = dir_.File("notes.txt");
  std::ofstream(other) << "precious";
  for (const std::string& path : {db_, other}) {
    const std::string before = ReadBytes(path);
    const Outcome r = Tdb({"init", path});
    EXPECT_EQ(r.code, 1) << path;
    EXPECT_NE(r.err.find("exists already"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(path), before) << path;
  }
  EXPECT_EQ(Tdb({"init", dir_.File("missing/x.tdb")}).code, 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 2);
}

TEST_F(TdbTest, PolishTextRoundTripsThroughWindows1250) {
  const Outcome a = Tdb({"append", db_, "telefony", "+7", "Łukasz", "Żółć", "600100200123", ""});
  ASSERT_EQ(a.code, 0) << a.err;
  const Outcome r = Tdb({"rows", db_, "telefony"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "7\tŁukasz\tŻółć\t600100200123\t0\n");
  // The file holds the code page's bytes, one per letter.
  const std::string bytes = ReadBytes(db_);
  EXPECT_NE(bytes.find("\xA3ukasz"), std::string::npos);
  EXPECT_NE(bytes.find("\xAF\xF3\xB3\xE6"), std::string::npos);
}

TEST_F(TdbTest, RowsFollowTheChosenOrderInPolishCollation) {
  AppendPhones(
      "1\tŁucja\tŁoś\t603\t0\n"
      "2\tJan\tLis\t601\t0\n"
      "3\tOla\tĆwik\t605\t0\n"
      "4\tPiotr\tLuty\t602\t0\n"
      "5\tanna\tDąb\t604\t0\n"
      "6\tIgor\tCichy\t600\t0\n");
  const struct {
    std::vector<std::string> order;
    std::vector<std::string> ids;
  } cases[] = {
      {{}, {"1", "2", "3", "4", "5", "6"}},
      // Ł after L, Ć between C and D: not the code page's byte order.
      {{"--order", "NazwiskoIndex"}, {"6", "3", "5", "2", "4", "1"}},
      // Lower case among upper case, not after it.
      {{"--order", "ImieIndex"}, {"5", "6", "2", "1", "3", "4"}},
      {{"--order", "telindex"}, {"6", "2", "4", "1", "5", "3"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"rows", db_, "telefony"};
    args.insert(args.end(), c.order.begin(), c.order.end());
    const Outcome r = Tdb(args);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(FirstColumn(r.out), c.ids) << (c.order.empty() ? "natural" : c.order[1]);
  }
}

TEST_F(TdbTest, EscapesKeepEachRowOneLineAndComeBackAsTheBytes) {
  const struct {
    std::string escaped, stored;
  } cases[] = {
      {"a\\tb", "a\tb"}, {"a\\nb", "a\nb"}, {"a\\rb", "a\rb"}, {"back\\\\slash", "back\\slash"}, {"\\\\t", "\\t"},
  };
  std::string input;
  for (size_t i = 0; i < std::size(cases); ++i) input += "k" + std::to_string(i) + "\t" + cases[i].escaped + "\n";
  const Outcome a = Tdb({"append", db_, "config", "-"}, input);
  ASSERT_EQ(a.code, 0) << a.err;
  EXPECT_EQ(Tdb({"rows", db_, "config"}).out, input);

  std::shared_ptr<store::Database> db;
  ASSERT_TRUE(store::Database::Open(db_, {}, &db).ok());
  store::Cursor config(db, "config");
  ASSERT_TRUE(config.Open().ok());
  for (const auto& c : cases) {
    ASSERT_FALSE(config.Eof());
    EXPECT_EQ(config.Text("value"), c.stored) << c.escaped;
    config.Next();
  }
}

TEST_F(TdbTest, AppendFromInputReportsRefusedLinesAndKeepsTheOthers) {
  const Outcome r = Tdb({"append", db_, "telefony", "-"},
                        "1\tJan\tKowalski\t600100200\t0\n"
                        "2\tEwa\tNowak\t600100201\t0\n"
                        "3\tOla\tLis\t600100200\t0\n"
                        "4\tOla\tLis\n"
                        "5\tOla\tLis\\q\t600100205\t0\n"
                        "6\tOla\tLis\t600100206\t0\r\n");
  EXPECT_EQ(r.code, 1);
  for (const char* expected : {"line 3: Invalid unique field value '600100200'\n", "line 4: expected 5 values",
                               "line 5: unknown escape '\\q'", "3 of 6 lines refused"}) {
    EXPECT_NE(r.err.find(expected), std::string::npos) << expected << "\nin:\n" << r.err;
  }
  EXPECT_EQ(FirstColumn(Tdb({"rows", db_, "telefony"}).out), (std::vector<std::string>{"1", "2", "6"}));
}

TEST_F(TdbTest, DeleteRemovesTheRowByItsNumberInTheFile) {
  AppendPhones("1\tA\tA\t601\t0\n2\tB\tB\t602\t0\n3\tC\tC\t603\t0\n");
  ASSERT_EQ(Tdb({"delete", db_, "telefony", "1"}).code, 0);
  EXPECT_EQ(FirstColumn(Tdb({"rows", db_, "telefony", "--order", "TelIndex"}).out),
            (std::vector<std::string>{"1", "3"}));
  EXPECT_EQ(FirstColumn(Tdb({"rows", db_, "telefony", "--numbers"}).out), (std::vector<std::string>{"0", "2"}));
  EXPECT_NE(Tdb({"info", db_}).out.find("table telefony\n  rows 2 live, 3 appended\n"), std::string::npos);
  // Row 2 keeps its number after row 1 went.
  ASSERT_EQ(Tdb({"delete", db_, "telefony", "2"}).code, 0);
  EXPECT_EQ(Tdb({"rows", db_, "telefony"}).out, "1\tA\tA\t601\t0\n");
}

TEST_F(TdbTest, CheckSaysOkOnAGoodFileAndNamesEachDamage) {
  AppendPhones("1\tJan\tKowalski\t600100200\t0\n2\tEwa\tNowak\t600100201\t0\n");
  const Outcome good = Tdb({"check", db_});
  EXPECT_EQ(good.code, 0) << good.out;
  EXPECT_EQ(good.out, "ok\n");

  const std::string intact = ReadBytes(db_);
  const std::int32_t config = store::GetInt32(intact.data() + store::kDirectoryOffset + 8 + 4);
  const struct {
    std::int64_t at;
    std::string bytes;
    const char* problem;
  } cases[] = {
      {0, "XXXXXXX", "is not a valid database file"},
      {kPhones + store::TableHeader::kRowCountAt, Int32Bytes(5000), "record tab of table 'telefony' is damaged"},
      {kPhones + store::TableHeader::IndexDefinitionAt(0) + store::TableHeader::kIndexHeadAt, Int32Bytes(7),
       "index 'TelIndex' of table 'telefony': chain broken"},
      {PhoneRowAt(1) + 86, "600100200", "index 'TelIndex': duplicate key '600100200'"},
      {config, "telefony", "table 'telefony' appears twice in the table directory"},
  };
  for (const auto& c : cases) {
    std::ofstream(db_, std::ios::binary) << intact;
    WriteBytesAt(db_, c.at, c.bytes);
    const std::string damaged = ReadBytes(db_);
    const Outcome r = Tdb({"check", db_});
    EXPECT_EQ(r.code, 1) << c.problem;
    EXPECT_NE(r.out.find(c.problem), std::string::npos) << c.problem << "\nout:\n" << r.out;
    EXPECT_EQ(ReadBytes(db_), damaged) << c.problem;
  }
}

// A file whose NazwiskoIndex chain an earlier build wrote, with the hyphen
// and the apostrophe weighed as punctuation before the letters: rows lists
// the word-sort order and check names the index, and reading leaves the file
// as it is. The next write, an append or a delete, writes the order whole,
// so check says ok after it, as it does for the same rows written by the
// tool now.
TEST_F(TdbTest, ChainsWrittenInTheOldTextOrderAreListedInTheNewOneAndSettledByAWrite) {
  const std::vector<std::string> appended = {"Abc",   "Aba",         "Ab-c",   "Ab c",  "Nowaka",
                                             "Nowak", "Nowak-Zając", "O'Neil", "Oneil", "Onea"};
  const std::vector<std::string> wordSort = {"Ab c",   "Aba",         "Abc",  "Ab-c",  "Nowak",
                                             "Nowaka", "Nowak-Zając", "Onea", "Oneil", "O'Neil"};
  const std::string mended = "index 'NazwiskoIndex' of table 'telefony': ";
  std::vector<std::string> withAbacki = wordSort;
  withAbacki.insert(withAbacki.begin() + 6, "Nowak-Abacki");
  std::vector<std::string> withoutAbc = wordSort;
  withoutAbc.erase(withoutAbc.begin() + 2);
  std::vector<std::string> withoutOneil = wordSort;
  withoutOneil.erase(withoutOneil.begin() + 9);
  const struct {
    const char* name;
    std::vector<std::string> args;  // after the file
    std::string input;
    std::vector<std::string> after;
  } writes[] = {
      {"an append", {"append", "", "telefony", "-"}, "0\tx\tNowak-Abacki\t700\t0\n", withAbacki},
      {"a delete of the first row appended", {"delete", "", "telefony", "0"}, "", withoutAbc},
      {"a delete of a row out of place", {"delete", "", "telefony", "7"}, "", withoutOneil},
  };
  const struct {
    const char* name;
    bool oldOrder;  // written through the store in the old order, else by this tool
    std::string check;
  } files[] = {
      {"written in the old order", true, mended + "5 row(s) out of place, ordered from their keys\n"},
      {"written by the tool", false, "ok\n"},
  };
  for (const auto& f : files) {
    for (const auto& w : writes) {
      SCOPED_TRACE(std::string(f.name) + ", then " + w.name);
      std::filesystem::remove(db_);
      ASSERT_EQ(Tdb({"init", db_}).code, 0);
      if (f.oldOrder) {
        store::Database::Options options;
        const auto old = std::make_shared<store::testing::WholeTextOrder>();
        ASSERT_TRUE(old->ok());
        options.collation = old;
        std::shared_ptr<store::Database> db;
        ASSERT_TRUE(store::Database::Open(db_, options, &db).ok());
        store::Cursor phones(db, "telefony");
        ASSERT_TRUE(phones.Open().ok());
        for (size_t i = 0; i < appended.size(); ++i) {
          ASSERT_TRUE(phones.Append().ok());
          ASSERT_TRUE(phones.SetText("Imie", "x").ok());
          ASSERT_TRUE(phones.SetText("Nazwisko", store::Utf8ToWindows1250(appended[i])).ok());
          ASSERT_TRUE(phones.SetText("Tel", std::to_string(600 + i)).ok());
          ASSERT_TRUE(phones.Post().ok());
        }
      } else {
        std::string lines;
        for (size_t i = 0; i < appended.size(); ++i) {
          lines += "0\tx\t" + appended[i] + "\t" + std::to_string(600 + i) + "\t0\n";
        }
        AppendPhones(lines);
      }
      const std::string written = ReadBytes(db_);

      Outcome r = Tdb({"rows", db_, "telefony", "--order", "NazwiskoIndex"});
      EXPECT_EQ(r.code, 0) << r.err;
      EXPECT_EQ(ThirdColumn(r.out), wordSort);
      r = Tdb({"check", db_});
      EXPECT_EQ(r.code, f.check == "ok\n" ? 0 : 1);
      EXPECT_EQ(r.out, f.check);
      EXPECT_EQ(ReadBytes(db_), written) << "reading mends in memory only";

      std::vector<std::string> args = w.args;
      args[1] = db_;
      r = Tdb(args, w.input);
      ASSERT_EQ(r.code, 0) << r.err;
      r = Tdb({"rows", db_, "telefony", "--order", "NazwiskoIndex"});
      EXPECT_EQ(ThirdColumn(r.out), w.after);
      r = Tdb({"check", db_});
      EXPECT_EQ(r.out, "ok\n");
      EXPECT_EQ(r.code, 0);
    }
  }
}

// Every other row deleted, then compacted while another program has the
// file open (refused) and after.
TEST_F(TdbTest, CompactKeepsEveryRowAndOrderAndRefusesAFileInUse) {
  std::string lines;
  for (int i = 0; i < 300; ++i) {
    lines += std::to_string(i + 2) + "\tImię" + std::to_string(i % 11) + "\tŻak" + std::to_string(i % 13) + "\t" +
             std::to_string(600100000 + i) + "\t0\n";
  }
  AppendPhones(lines);
  {
    std::shared_ptr<store::Database> db;
    ASSERT_TRUE(store::Database::Open(db_, {}, &db).ok());
    store::Cursor phones(db, "telefony");
    ASSERT_TRUE(phones.Open().ok());
    for (phones.First(); !phones.Eof(); phones.Next()) ASSERT_TRUE(phones.Delete().ok());
  }
  const std::vector<std::string> listings[] = {{"rows", db_, "telefony"},
                                               {"rows", db_, "telefony", "--order", "TelIndex"},
                                               {"rows", db_, "telefony", "--order", "NazwiskoIndex"},
                                               {"rows", db_, "telefony", "--order", "ImieIndex"}};
  std::vector<std::string> before;
  for (const auto& args : listings) before.push_back(Tdb(args).out);
  const std::string bytes = ReadBytes(db_);
  {
    std::shared_ptr<store::Database> other;
    ASSERT_TRUE(store::Database::Open(db_, {}, &other).ok());
    const Outcome refused = Tdb({"compact", db_});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err, "selvantrix-tdb: '" + db_ +
                               "' is open in another program; it is compacted only when nothing else has it open\n");
    EXPECT_EQ(ReadBytes(db_), bytes);
  }

  const Outcome r = Tdb({"compact", db_});
  ASSERT_EQ(r.code, 0) << r.err;
  const std::uintmax_t size = std::filesystem::file_size(db_);
  EXPECT_EQ(r.out, "compacted: " + std::to_string(bytes.size()) + " bytes, now " + std::to_string(size) + "\n");
  EXPECT_LT(size, bytes.size());
  for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(Tdb(listings[i]).out, before[i]) << i;
  EXPECT_EQ(Tdb({"check", db_}).out, "ok\n");
  EXPECT_NE(Tdb({"info", db_}).out.find("table telefony\n  rows 150 live, 150 appended\n"), std::string::npos);
  EXPECT_EQ(Tdb({"compact", db_}).out, "already compact: " + std::to_string(size) + " bytes\n");
}

TEST_F(TdbTest, BadUsageExitsTwoAndLeavesTheFileAlone) {
  AppendPhones("1\tJan\tKowalski\t600100200\t0\n");
  const std::string before = ReadBytes(db_);
  const std::vector<std::string> cases[] = {
      {},
      {"frobnicate", db_},
      {"init", db_, "extra"},
      {"rows", db_},
      {"rows", db_, "telefony", "--order"},
      {"rows", db_, "telefony", "--sideways"},
      {"append", db_, "telefony"},
      {"append", db_, "telefony", "2", "Ewa"},
      {"delete", db_, "telefony", "-1"},
      {"check", db_, db_},
      {"compact"},
      {"compact", db_, db_},
  };
  for (const auto& args : cases) {
    const Outcome r = Tdb(args);
    const std::string shown = args.empty() ? "(none)" : args[0] + " with " + std::to_string(args.size()) + " args";
    EXPECT_EQ(r.code, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;
    EXPECT_NE(r.err.find("usage: selvantrix-tdb"), std::string::npos) << shown;
  }
  EXPECT_EQ(ReadBytes(db_), before);
}

TEST_F(TdbTest, RefusedCommandsExitOneAndLeaveTheFileByteIdentical) {
  AppendPhones("1\tJan\tKowalski\t600100200\t0\n");
  const std::string before = ReadBytes(db_);
  const struct {
    std::vector<std::string> args;
    std::string input, message;
  } cases[] = {
      {{"append", db_, "telefony", "2", "Ewa", "Nowak", "600100200", "0"},
       "",
       "Invalid unique field value '600100200'"},
      {{"append", db_, "telefony", "-"}, "2\tEwa\tNowak\t600100200\t0\n", "line 1: Invalid unique field value"},
      {{"append", db_, "telefony", "2", "Ewa", "Nowak", "6001002001234", "0"}, "", "longer than the 12 characters"},
      {{"append", db_, "telefony", "12a", "Ewa", "Nowak", "600", "0"},
       "",
       "value '12a' of field 'ID' is not a decimal"},
      {{"append", db_, "telefony", "4294967296", "Ewa", "Nowak", "600", "0"}, "", "out of range for field 'ID'"},
      {{"append", db_, "telefony", "2", "日本", "Nowak", "600", "0"}, "", "has characters Windows-1250 lacks"},
      {{"append", db_, "nosuch", "x"}, "", "Table 'nosuch' not found"},
      {{"rows", db_, "telefony", "--order", "WiekIndex"}, "", "Index 'WiekIndex' not found in table 'telefony'"},
      {{"delete", db_, "telefony", "1"}, "", "row 1 of table 'telefony' does not exist"},
      {{"info", dir_.File("missing.tdb")}, "", "Cannot open file"},
  };
  for (const auto& c : cases) {
    const Outcome r = Tdb(c.args, c.input);
    EXPECT_EQ(r.code, 1) << c.message;
    EXPECT_EQ(r.out, "") << c.message;
    EXPECT_EQ(r.err.rfind("selvantrix-tdb: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.message << "\nerr:\n" << r.err;
    EXPECT_EQ(ReadBytes(db_), before) << c.message;
  }
}

TEST_F(TdbTest, ReadOnlyFileServesEveryReadingCommand) {
  AppendPhones("1\tJan\tKowalski\t600100200\t0\n");
  std::filesystem::permissions(db_, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                        std::filesystem::perms::others_read);
  const std::string before = ReadBytes(db_);
  EXPECT_EQ(Tdb({"rows", db_, "telefony", "--order", "NazwiskoIndex"}).out, "1\tJan\tKowalski\t600100200\t0\n");
  EXPECT_EQ(Tdb({"info", db_}).code, 0);
  EXPECT_EQ(Tdb({"check", db_}).out, "ok\n");
  for (const char* input : {"", "2\tEwa\tNowak\t600100201\t0\n"}) {
    const Outcome r = *input == 0 ? Tdb({"append", db_, "telefony", "2", "Ewa", "Nowak", "600100201", "0"})
                                  : Tdb({"append", db_, "telefony", "-"}, input);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is read-only"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Tdb({"delete", db_, "telefony", "0"}).code, 1);
  const Outcome compact = Tdb({"compact", db_});
  EXPECT_EQ(compact.code, 1);
  EXPECT_NE(compact.err.find("is read-only"), std::string::npos) << compact.err;
  EXPECT_EQ(ReadBytes(db_), before);
}

}  // namespace
