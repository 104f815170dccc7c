#include "store/cursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "store/testing/files.h"
#include "store/collation.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

// The configurator's database with a Polish collation pinned, so order and
// finds do not depend on the machine's locale.
class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("selvantrixx.tdb");
    ASSERT_TRUE(testing::CreatePhoneDatabase(path_).ok());
    Reopen();
  }

  void Reopen() {
    phones_.reset();
    Database::Options options;
    options.collation = MakeLocaleCollation("pl_PL");
    options.sync = SyncMode::kNone;
    db_.reset();
    ASSERT_TRUE(Database::Open(path_, options, &db_).ok());
    phones_ = std::make_unique<Cursor>(db_, "telefony");
    ASSERT_TRUE(phones_->Open().ok());
  }

  // UTF-8 in the test, Windows-1250 in the file.
  Status AddPhone(const std::string& first, const std::string& last, const std::string& tel) {
    Status s = phones_->Append();
    if (s.ok()) s = phones_->SetText("Imie", Utf8ToWindows1250(first));
    if (s.ok()) s = phones_->SetText("Nazwisko", Utf8ToWindows1250(last));
    if (s.ok()) s = phones_->SetText("Tel", Utf8ToWindows1250(tel));
    if (s.ok()) s = phones_->Post();
    if (!s.ok()) phones_->Cancel();
    return s;
  }

  std::vector<std::string> Column(Cursor& c, const char* field) {
    std::vector<std::string> values;
    for (c.First(); !c.Eof(); c.Next()) values.push_back(Windows1250ToUtf8(c.Text(field)));
    return values;
  }

  testing::TempDir dir_;
  std::string path_;
  std::shared_ptr<Database> db_;
  std::unique_ptr<Cursor> phones_;
};

TEST_F(CursorTest, EmptyTableIsAtItsEnd) {
  EXPECT_EQ(phones_->RowCount(), 0);
  EXPECT_TRUE(phones_->Eof());
  EXPECT_EQ(phones_->Position(), 0);
  EXPECT_EQ(phones_->Text("Tel"), "");
  EXPECT_EQ(phones_->Int("ID"), 0);
}

TEST_F(CursorTest, NewRowHookRunsOnAppendAndDoesNotCountAsTyping) {
  phones_->onNewRow = [](Cursor& c) { c.SetInt("ID", c.RowCount() + 2); };
  std::vector<Cursor::State> states;
  phones_->onStateChange = [&](Cursor::State s) { states.push_back(s); };
  ASSERT_TRUE(phones_->Append().ok());
  EXPECT_EQ(phones_->Int("ID"), 2);
  EXPECT_EQ(phones_->Int("ST"), 0);
  // Settling a row only the hook wrote drops it.
  bool found = false;
  ASSERT_TRUE(phones_->Find("Tel", {"1"}, {}, &found).ok());
  EXPECT_EQ(phones_->RowCount(), 0);
  EXPECT_EQ(states, (std::vector<Cursor::State>{Cursor::State::kInsert, Cursor::State::kBrowse}));

  // A row the user typed into is posted by the same settling.
  ASSERT_TRUE(phones_->Append().ok());
  phones_->SetText("Tel", "600100200");
  ASSERT_TRUE(phones_->Find("Tel", {"600100200"}, {}, &found).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(phones_->RowCount(), 1);
  EXPECT_EQ(phones_->Int("ID"), 2);
}

TEST_F(CursorTest, EditOnAnEmptyTableStartsANewRow) {
  ASSERT_TRUE(phones_->Edit().ok());
  EXPECT_EQ(phones_->state(), Cursor::State::kInsert);
  phones_->SetText("Tel", "1");
  ASSERT_TRUE(phones_->Post().ok());
  ASSERT_TRUE(phones_->Edit().ok());
  EXPECT_EQ(phones_->state(), Cursor::State::kEdit);
  phones_->SetText("Tel", "2");
  phones_->Cancel();
  EXPECT_EQ(phones_->Text("Tel"), "1");
  EXPECT_EQ(phones_->SetText("Tel", "3").message(), "Dataset not in edit or insert mode");
}

TEST_F(CursorTest, TextsAreCutToTheFieldAndTheCutValueIsWhatTheUniqueIndexSees) {
  ASSERT_TRUE(AddPhone("Anna", "Nowak", "1234567890123").ok());
  EXPECT_EQ(phones_->Text("Tel"), "123456789012");
  EXPECT_EQ(AddPhone("Ewa", "Lis", "1234567890129").message(), "Invalid unique field value '123456789012'");
  ASSERT_TRUE(AddPhone("Jan", std::string(50, 'x'), "5").ok());
  EXPECT_EQ(phones_->Text("Nazwisko"), std::string(40, 'x'));
}

TEST_F(CursorTest, UniqueCheckOnAppendAndChangeIncludingTheEmptyValue) {
  ASSERT_TRUE(AddPhone("A", "A", "").ok());
  EXPECT_EQ(AddPhone("B", "B", "").message(), "Invalid unique field value ''");
  ASSERT_TRUE(AddPhone("C", "C", "600").ok());
  // The refused row stays pending, so the caller can decide.
  ASSERT_TRUE(phones_->Append().ok());
  phones_->SetText("Tel", "600");
  EXPECT_EQ(phones_->Post().code(), Status::Code::kUniqueViolation);
  EXPECT_EQ(phones_->state(), Cursor::State::kInsert);
  phones_->Cancel();

  bool found = false;
  ASSERT_TRUE(phones_->Find("Tel", {"600"}, {}, &found).ok());
  ASSERT_TRUE(found);
  ASSERT_TRUE(phones_->Edit().ok());
  phones_->SetText("Imie", "Changed");  // its own key may stay
  EXPECT_TRUE(phones_->Post().ok());
  ASSERT_TRUE(phones_->Edit().ok());
  phones_->SetText("Tel", "");
  EXPECT_EQ(phones_->Post().message(), "Invalid unique field value ''");
  phones_->Cancel();
  EXPECT_EQ(phones_->RowCount(), 2);
}

TEST_F(CursorTest, PolishCollationOrdersTheIndexes) {
  const char* surnames[] = {"Łoś", "lis", "Lis", "Luty", "Zając", "Żak", "Źrebiec", "Ćma", "Cegła", "Dąb"};
  int n = 0;
  for (const char* s : surnames) ASSERT_TRUE(AddPhone("x", s, std::to_string(++n)).ok());
  ASSERT_TRUE(phones_->SetOrder("NazwiskoIndex").ok());
  // ł after l, uppercase after lowercase of the same letter, ż after ź after z.
  EXPECT_EQ(Column(*phones_, "Nazwisko"), (std::vector<std::string>{"Cegła", "Ćma", "Dąb", "lis", "Lis", "Luty", "Łoś",
                                                                    "Zając", "Źrebiec", "Żak"}));
  // The natural order is the order of storing.
  ASSERT_TRUE(phones_->SetOrder("").ok());
  EXPECT_EQ(Column(*phones_, "Nazwisko")[0], "Łoś");
  ASSERT_TRUE(phones_->SetOrder("no such index").ok());
  EXPECT_EQ(Column(*phones_, "Nazwisko")[0], "Łoś");
}

TEST_F(CursorTest, FindsExactAndByPrefixThroughIndexesAndScans) {
  ASSERT_TRUE(AddPhone("Jan", "kowalski", "100").ok());
  ASSERT_TRUE(AddPhone("Ewa", "Kowalski", "200").ok());
  ASSERT_TRUE(AddPhone("Ola", "Nowak", "300").ok());
  ASSERT_TRUE(db_->CreateTable("scan", {FieldSpec{"a", FieldType::kText, 10}}).ok());
  struct Case {
    const char* fields;
    const char* value;
    bool prefix;
    bool ignoreCase;
    const char* expectTel;  // nullptr: not found
  };
  const Case cases[] = {
      {"Nazwisko", "Ko", true, false, "200"},   // prefix, case-sensitive: not "kowalski"
      {"Nazwisko", "ko", true, false, "100"},
      {"Nazwisko", "Kowalsk", false, false, nullptr},
      {"Nazwisko", "Kowalski", false, false, "200"},
      {"NAZWISKO", "nowak", false, true, "300"},  // ignore-case scans (no such index)
      {"tel", "300", false, false, "300"},
      {"TEL", "3", true, false, "300"},
      {"Tel", "4", true, false, nullptr},
      {"Imie", "E", true, false, "200"},
      {"id", "0", false, false, "100"},  // integers compare numerically; every ID is 0 here
      {"Imie;Nazwisko", "Ola", false, false, nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(phones_->SetOrder("").ok());
    phones_->Next();  // stand somewhere else first
    const std::int32_t before = phones_->RowNumber();
    bool found = false;
    Cursor::FindOptions options;
    options.prefix = c.prefix;
    options.ignoreCase = c.ignoreCase;
    ASSERT_TRUE(phones_->Find(c.fields, {c.value}, options, &found).ok()) << c.fields;
    EXPECT_EQ(found, c.expectTel != nullptr) << c.fields << " " << c.value;
    if (c.expectTel) {
      EXPECT_EQ(phones_->Text("Tel"), c.expectTel) << c.fields << " " << c.value;
    } else {
      EXPECT_EQ(phones_->RowNumber(), before) << "a miss leaves the cursor where it was";
    }
  }
}

TEST_F(CursorTest, PrefixFindsSurviveKeysWhoseStartsAreOutOfOrder) {
  // Ordered as Koa, kob, koc: the two-byte starts read Ko, ko, ko, so a
  // bisection for "Ko" walks past the one row that has it.
  for (const char* s : {"kob", "Koa", "koc"}) ASSERT_TRUE(AddPhone("x", s, s).ok());
  ASSERT_TRUE(phones_->SetOrder("NazwiskoIndex").ok());
  for (const char* prefix : {"Ko", "Koa", "ko", "koc"}) {
    bool found = false;
    Cursor::FindOptions options;
    options.prefix = true;
    ASSERT_TRUE(phones_->Find("Nazwisko", {prefix}, options, &found).ok());
    EXPECT_TRUE(found) << prefix;
    EXPECT_EQ(phones_->Text("Nazwisko").substr(0, std::string(prefix).size()), prefix);
  }
}

// A prefix find through an index lands on the first row of the index's order
// whose first bytes compare equal to the search text, even where rows that
// do not start so stand between those that do: case decides after the
// letters ("Koa", "kowalski", "Kowalski"), and letters that join decide
// where a row stands (the Czech "ch" sorts after "h").
TEST(CursorPrefixTest, PrefixFindsLandOnTheFirstRowOfTheOrderThatStartsSo) {
  struct Find {
    const char* prefix;
    const char* expect;  // nullptr: not found
  };
  struct Case {
    const char* locale;
    std::vector<std::string> rows;  // appended in this order
    std::vector<Find> finds;
  };
  const Case cases[] = {
      // Ordered Koa, kowalski, Kowalski.
      {"pl_PL",
       {"Kowalski", "kowalski", "Koa"},
       {{"Ko", "Koa"}, {"K", "Koa"}, {"Kow", "Kowalski"}, {"ko", "kowalski"}, {"KO", nullptr}}},
      // Ordered Koa, kob, koc.
      {"pl_PL", {"kob", "Koa", "koc"}, {{"Ko", "Koa"}, {"ko", "kob"}, {"koc", "koc"}}},
      // Ordered lis, Lis, Lubicz, Luty, Łoś, Łukasz.
      {"pl_PL",
       {"Łoś", "Lis", "lis", "Luty", "Łukasz", "Lubicz"},
       {{"L", "Lis"}, {"l", "lis"}, {"Lu", "Lubicz"}, {"Ł", "Łoś"}, {"Łu", "Łukasz"}, {"Lo", nullptr}}},
      // Ordered Cibulka, Dvořák, Hora, Chlupa.
      {"cs_CZ",
       {"Hora", "Chlupa", "Dvořák", "Cibulka"},
       {{"C", "Cibulka"}, {"Ch", "Chlupa"}, {"H", "Hora"}, {"D", "Dvořák"}, {"E", nullptr}}},
      {"cs_CZ", {"Hora", "Chlupa", "Dvořák"}, {{"C", "Chlupa"}, {"Ch", "Chlupa"}, {"Ci", nullptr}}},
  };
  testing::TempDir dir;
  int made = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + ", rows " + c.rows.front() + "...");
    const std::string path = dir.File(std::to_string(made++) + ".tdb");
    ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
    Database::Options options;
    options.collation = MakeLocaleCollation(c.locale);
    options.sync = SyncMode::kNone;
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Database::Open(path, options, &db).ok());
    Cursor phones(db, "telefony");
    ASSERT_TRUE(phones.Open().ok());
    int tel = 0;
    for (const std::string& row : c.rows) {
      ASSERT_TRUE(phones.Append().ok());
      ASSERT_TRUE(phones.SetText("Nazwisko", Utf8ToWindows1250(row)).ok());
      ASSERT_TRUE(phones.SetText("Tel", std::to_string(++tel)).ok());
      ASSERT_TRUE(phones.Post().ok());
    }
    ASSERT_TRUE(phones.SetOrder("NazwiskoIndex").ok());
    for (const Find& f : c.finds) {
      phones.First();
      bool found = false;
      Cursor::FindOptions how;
      how.prefix = true;
      ASSERT_TRUE(phones.Find("Nazwisko", {Utf8ToWindows1250(f.prefix)}, how, &found).ok());
      EXPECT_EQ(found, f.expect != nullptr) << f.prefix;
      if (f.expect && found) {
        EXPECT_EQ(Windows1250ToUtf8(phones.Text("Nazwisko")), f.expect) << f.prefix;
      }
    }
  }
}

// On an index of two fields the prefix applies to the text, the number must
// be equal; a number before the text narrows the rows, a number after it only
// filters them, as the rows whose texts merely start alike are not ordered
// by it.
TEST(CursorPrefixTest, PrefixFindsOnTwoFieldsLandOnTheFirstRowOfTheOrder) {
  testing::TempDir dir;
  const std::string path = dir.File("two.tdb");
  ASSERT_TRUE(Database::Create(path).ok());
  Database::Options options;
  options.collation = MakeLocaleCollation("pl_PL");
  options.sync = SyncMode::kNone;
  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::Open(path, options, &db).ok());
  ASSERT_TRUE(db->CreateTable("t", {FieldSpec{"a", FieldType::kText, 10}, FieldSpec{"n", FieldType::kInt32, 0},
                                    FieldSpec{"id", FieldType::kInt32, 0}})
                  .ok());
  ASSERT_TRUE(db->CreateIndex("t", "byNA", 0, {"n", "a"}).ok());
  ASSERT_TRUE(db->CreateIndex("t", "byAN", 0, {"a", "n"}).ok());
  Cursor t(db, "t");
  ASSERT_TRUE(t.Open().ok());
  const std::pair<const char*, int> rows[] = {{"Kowalski", 1}, {"kowalski", 1}, {"Koa", 1},
                                              {"Koa", 2},      {"Koa", 0},      {"Kowalski", 2}};
  int id = 0;
  for (const auto& [a, n] : rows) {
    ASSERT_TRUE(t.Append().ok());
    ASSERT_TRUE(t.SetText("a", a).ok());
    ASSERT_TRUE(t.SetInt("n", n).ok());
    ASSERT_TRUE(t.SetInt("id", id++).ok());
    ASSERT_TRUE(t.Post().ok());
  }
  const struct {
    const char* fields;
    std::vector<std::string> values;
    int expectId;  // -1: not found
  } cases[] = {
      // byNA orders (0 Koa), (1 Koa), (1 kowalski), (1 Kowalski), (2 Koa), (2 Kowalski).
      {"n;a", {"1", "Ko"}, 2},
      {"n;a", {"1", "Kow"}, 0},
      {"n;a", {"2", "Kow"}, 5},
      {"n;a", {"1", "ko"}, 1},
      {"n;a", {"3", "K"}, -1},
      // byAN orders (Koa 0), (Koa 1), (Koa 2), (kowalski 1), (Kowalski 1), (Kowalski 2).
      {"a;n", {"Ko", "2"}, 3},
      {"a;n", {"K", "1"}, 2},
      {"a;n", {"Kow", "2"}, 5},
      {"a;n", {"Kow", "1"}, 0},
      {"a;n", {"ko", "0"}, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.fields) + " " + c.values[0] + ", " + c.values[1]);
    t.First();
    bool found = false;
    Cursor::FindOptions how;
    how.prefix = true;
    ASSERT_TRUE(t.Find(c.fields, c.values, how, &found).ok());
    EXPECT_EQ(found, c.expectId >= 0);
    if (found) {
      EXPECT_EQ(t.Int("id"), c.expectId);
    }
  }
}

// Every text of up to three signs from a small alphabet (letters in both
// cases, a Polish letter, the sharp s that weighs as "ss", the hyphen, the
// soft hyphen that weighs nothing, and "c" and "h" that join in Czech), and
// every such text sought, as a prefix and whole, through a case-sensitive
// and a case-insensitive index: each find lands where a walk down the
// index's order finds the first row that matches.
TEST(CursorPrefixTest, FindsAgreeWithAWalkDownTheOrder) {
  const std::vector<std::string> signs = {"a", "A", "c", "h", "ą", "ß", "-", "\u00AD"};
  std::vector<std::string> texts = {""};
  for (size_t from = 0, length = 1; length <= 3; ++length) {
    const size_t to = texts.size();
    for (size_t i = from; i < to; ++i) {
      for (const std::string& sign : signs) texts.push_back(texts[i] + Utf8ToWindows1250(sign));
    }
    from = to;
  }
  texts.erase(texts.begin());
  // Appended in a scrambled order, so row numbers tell nothing.
  std::vector<std::string> appended = texts;
  std::mt19937 random(1250);
  std::shuffle(appended.begin(), appended.end(), random);

  testing::TempDir dir;
  for (const char* locale : {"pl_PL", "cs_CZ"}) {
    SCOPED_TRACE(locale);
    const auto collation = MakeLocaleCollation(locale);
    const std::string path = dir.File(std::string(locale) + ".tdb");
    ASSERT_TRUE(Database::Create(path).ok());
    Database::Options options;
    options.collation = collation;
    options.sync = SyncMode::kNone;
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Database::Open(path, options, &db).ok());
    ASSERT_TRUE(db->CreateTable("t", {FieldSpec{"s", FieldType::kText, 8}}).ok());
    ASSERT_TRUE(db->CreateIndex("t", "exact", 0, {"s"}).ok());
    ASSERT_TRUE(db->CreateIndex("t", "caseless", kIndexCaseInsensitive, {"s"}).ok());
    Cursor t(db, "t");
    ASSERT_TRUE(t.Open().ok());
    for (const std::string& text : appended) {
      ASSERT_TRUE(t.Append().ok());
      ASSERT_TRUE(t.SetText("s", text).ok());
      ASSERT_TRUE(t.Post().ok());
    }
    for (const bool ignoreCase : {false, true}) {
      const char* index = ignoreCase ? "caseless" : "exact";
      ASSERT_TRUE(t.SetOrder(index).ok());
      const std::vector<std::int32_t>& order = t.table()->Order(t.table()->IndexSlot(index));
      for (const bool prefix : {true, false}) {
        int wrong = 0;
        for (const std::string& sought : texts) {
          std::int32_t first = -1;
          for (std::int32_t row : order) {
            std::string_view have = t.table()->Row(row).c_str();
            if (prefix) have = have.substr(0, sought.size());
            if (collation->Compare(have, sought, ignoreCase) == 0) {
              first = row;
              break;
            }
          }
          Cursor::FindOptions how;
          how.prefix = prefix;
          how.ignoreCase = ignoreCase;
          bool found = false;
          ASSERT_TRUE(t.Find("s", {sought}, how, &found).ok());
          const std::int32_t landed = found ? t.RowNumber() : -1;
          if (landed != first && ++wrong <= 5) {
            ADD_FAILURE() << index << (prefix ? ", prefix " : ", whole ") << Windows1250ToUtf8(sought) << ": landed on "
                          << (found ? Windows1250ToUtf8(t.Text("s")) : "nothing") << ", the first match is "
                          << (first < 0 ? "none" : Windows1250ToUtf8(t.table()->Row(first).c_str()));
          }
        }
        EXPECT_EQ(wrong, 0) << index << (prefix ? ", prefix" : ", whole");
      }
    }
  }
}

TEST_F(CursorTest, FindOnTwoFieldsNeedsBoth) {
  Cursor reports(db_, "raporty");
  ASSERT_TRUE(reports.Open().ok());
  const std::pair<const char*, const char*> rows[] = {{"600", "2024-01-01 10:00"}, {"601", "2024-01-01 10:00"},
                                                      {"600", "2024-01-02 11:00"}};
  for (const auto& [tel, data] : rows) {
    ASSERT_TRUE(reports.Append().ok());
    reports.SetText("Tel", tel);
    reports.SetText("Data", data);
    ASSERT_TRUE(reports.Post().ok());
  }
  bool found = false;
  ASSERT_TRUE(reports.Find("Data;Tel", {"2024-01-01 10:00", "601"}, {}, &found).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(reports.Position(), 2);
  ASSERT_TRUE(reports.Find("Data;Tel", {"2024-01-02 11:00", "601"}, {}, &found).ok());
  EXPECT_FALSE(found);
}

TEST_F(CursorTest, DeleteMovesToTheNextRowOrTheOneBefore) {
  for (int i = 1; i <= 4; ++i) ASSERT_TRUE(AddPhone("x", "y", std::to_string(i)).ok());
  ASSERT_TRUE(phones_->SetOrder("TelIndex").ok());
  phones_->Next();  // on "2"
  ASSERT_TRUE(phones_->Delete().ok());
  EXPECT_EQ(phones_->Text("Tel"), "3");
  phones_->Next();  // on "4", the last
  ASSERT_TRUE(phones_->Delete().ok());
  EXPECT_EQ(phones_->Text("Tel"), "3");
  ASSERT_TRUE(phones_->Delete().ok());
  ASSERT_TRUE(phones_->Delete().ok());
  EXPECT_TRUE(phones_->Eof());
  EXPECT_EQ(phones_->RowCount(), 0);
  EXPECT_FALSE(phones_->Delete().ok());
}

TEST_F(CursorTest, DeletedRowsVanishFromEveryOrderButKeepTheirNumbers) {
  for (int i = 1; i <= 5; ++i) ASSERT_TRUE(AddPhone("n" + std::to_string(i), "s" + std::to_string(6 - i), std::to_string(i)).ok());
  bool found = false;
  for (const char* tel : {"2", "4"}) {
    ASSERT_TRUE(phones_->Find("Tel", {tel}, {}, &found).ok());
    ASSERT_TRUE(phones_->Delete().ok());
  }
  Reopen();
  for (const char* order : {"", "TelIndex", "NazwiskoIndex", "ImieIndex"}) {
    ASSERT_TRUE(phones_->SetOrder(order).ok());
    std::vector<std::string> tels = Column(*phones_, "Tel");
    std::sort(tels.begin(), tels.end());
    EXPECT_EQ(tels, (std::vector<std::string>{"1", "3", "5"})) << order;
  }
  ASSERT_TRUE(AddPhone("new", "new", "6").ok());
  EXPECT_EQ(phones_->RowNumber(), 5);
  EXPECT_EQ(phones_->table()->header().rowCount, 6);
}

TEST_F(CursorTest, ChangesMoveRowsInEveryOrderAndSurviveReopening) {
  const char* names[] = {"Adam", "Bartek", "Celina", "Dorota"};
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(AddPhone(names[i], names[3 - i], std::to_string(10 + i)).ok());
  bool found = false;
  ASSERT_TRUE(phones_->Find("Tel", {"10"}, {}, &found).ok());
  ASSERT_TRUE(phones_->Edit().ok());
  phones_->SetText("Imie", "Zenon");
  phones_->SetText("Tel", "99");
  ASSERT_TRUE(phones_->Post().ok());
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(phones_->SetOrder("ImieIndex").ok());
    EXPECT_EQ(Column(*phones_, "Imie"), (std::vector<std::string>{"Bartek", "Celina", "Dorota", "Zenon"}));
    ASSERT_TRUE(phones_->SetOrder("TelIndex").ok());
    EXPECT_EQ(Column(*phones_, "Tel"), (std::vector<std::string>{"11", "12", "13", "99"}));
    EXPECT_TRUE(phones_->table()->repairs.empty());
    Reopen();
  }
}

TEST_F(CursorTest, OrderIsKeptAcrossCloseAndOpen) {
  for (const char* s : {"b", "c", "a"}) ASSERT_TRUE(AddPhone("x", s, s).ok());
  ASSERT_TRUE(phones_->SetOrder("NazwiskoIndex").ok());
  phones_->Close();
  EXPECT_FALSE(phones_->IsOpen());
  ASSERT_TRUE(phones_->Open().ok());
  EXPECT_EQ(phones_->OrderName(), "NazwiskoIndex");
  EXPECT_EQ(Column(*phones_, "Nazwisko"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(phones_->Position(), 3);
}

TEST_F(CursorTest, NewRowTakesItsSortedPlaceAndPositionFollowsIt) {
  for (const char* tel : {"10", "30"}) ASSERT_TRUE(AddPhone("x", "y", tel).ok());
  ASSERT_TRUE(phones_->SetOrder("TelIndex").ok());
  ASSERT_TRUE(AddPhone("x", "y", "20").ok());
  EXPECT_EQ(phones_->Position(), 2);
  ASSERT_TRUE(phones_->SetOrder("").ok());
  phones_->First();
  phones_->Next();
  phones_->Next();
  EXPECT_EQ(phones_->Text("Tel"), "20");
  phones_->Next();
  EXPECT_TRUE(phones_->Eof());
}

TEST_F(CursorTest, RefreshSeesRowsAnotherConnectionAdded) {
  std::shared_ptr<Database> other;
  ASSERT_TRUE(Database::Open(path_, {}, &other).ok());
  Cursor elsewhere(other, "telefony");
  ASSERT_TRUE(elsewhere.Open().ok());
  ASSERT_TRUE(AddPhone("a", "a", "1").ok());
  ASSERT_TRUE(elsewhere.Append().ok());
  elsewhere.SetText("Tel", "1");
  EXPECT_EQ(elsewhere.Post().message(), "Invalid unique field value '1'") << "the write path catches up first";
  elsewhere.SetText("Tel", "2");
  ASSERT_TRUE(elsewhere.Post().ok());
  EXPECT_EQ(phones_->RowCount(), 1);
  ASSERT_TRUE(phones_->Refresh().ok());
  EXPECT_EQ(phones_->RowCount(), 2);
}

TEST_F(CursorTest, ViewUpdatesAreHeldWhileSuspended) {
  int changes = 0;
  phones_->onDataChange = [&] { ++changes; };
  phones_->DisableControls();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(AddPhone("x", "y", std::to_string(i)).ok());
  EXPECT_EQ(changes, 0);
  phones_->EnableControls();
  EXPECT_EQ(changes, 1);
}

TEST_F(CursorTest, ChangesSeeADeleteMadeByAnotherConnection) {
  ASSERT_TRUE(AddPhone("a", "a", "600100200").ok());
  ASSERT_TRUE(AddPhone("b", "b", "700").ok());
  std::shared_ptr<Database> other;
  ASSERT_TRUE(Database::Open(path_, {}, &other).ok());
  Cursor elsewhere(other, "telefony");
  ASSERT_TRUE(elsewhere.Open().ok());
  ASSERT_TRUE(elsewhere.Delete().ok());  // the first row
  // An edit of the gone row is refused rather than lost, and its number is free.
  ASSERT_TRUE(phones_->SetOrder("").ok());
  ASSERT_EQ(phones_->Text("Tel"), "600100200");
  ASSERT_TRUE(phones_->Edit().ok());
  phones_->SetText("Imie", "z");
  EXPECT_EQ(phones_->Post().message(), "Record not found");
  phones_->Cancel();
  ASSERT_TRUE(AddPhone("c", "c", "600100200").ok());
  ASSERT_TRUE(phones_->Refresh().ok());
  EXPECT_EQ(phones_->RowCount(), 2);
}

TEST(CursorNumberTest, FloatingPointFieldsHoldDoubles) {
  testing::TempDir dir;
  const std::string path = dir.File("f.tdb");
  ASSERT_TRUE(Database::Create(path).ok());
  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::Open(path, {}, &db).ok());
  ASSERT_TRUE(db->CreateTable("t", {FieldSpec{"f", FieldType::kFloat, 0}, FieldSpec{"d", FieldType::kDateTime, 0}}).ok());
  ASSERT_TRUE(db->CreateIndex("t", "byF", 0, {"f"}).ok());
  Cursor t(db, "t");
  ASSERT_TRUE(t.Open().ok());
  for (int v : {5, -3, 40}) {
    ASSERT_TRUE(t.Append().ok());
    ASSERT_TRUE(t.SetInt("f", v).ok());
    ASSERT_TRUE(t.SetInt("d", v * 2).ok());
    ASSERT_TRUE(t.Post().ok());
  }
  ASSERT_TRUE(t.SetOrder("byF").ok());
  std::vector<std::int64_t> values;
  for (t.First(); !t.Eof(); t.Next()) values.push_back(t.Int("f"));
  EXPECT_EQ(values, (std::vector<std::int64_t>{-3, 5, 40}));
  bool found = false;
  ASSERT_TRUE(t.Find("f", {"40"}, {}, &found).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(t.Int("d"), 80);
}

TEST_F(CursorTest, RowsAreReadByPositionAndMovingSettlesAPendingRow) {
  ASSERT_TRUE(AddPhone("Zofia", "Adamska", "3").ok());
  ASSERT_TRUE(AddPhone("Adam", "Nowak", "1").ok());
  ASSERT_TRUE(phones_->SetOrder("ImieIndex").ok());
  EXPECT_EQ(phones_->TextAt(1, "imie"), "Adam");
  EXPECT_EQ(phones_->TextAt(2, "Tel"), "3");
  EXPECT_EQ(phones_->TextAt(3, "Tel"), "") << "past the end";
  EXPECT_EQ(phones_->TextAt(1, "nope"), "");

  // Staying on the row being edited keeps the edit; moving away posts it.
  ASSERT_TRUE(phones_->Edit().ok());
  ASSERT_TRUE(phones_->SetText("Nazwisko", "Lis").ok());
  ASSERT_TRUE(phones_->MoveTo(1).ok());
  EXPECT_EQ(phones_->state(), Cursor::State::kEdit);
  ASSERT_TRUE(phones_->MoveTo(2).ok());
  EXPECT_EQ(phones_->state(), Cursor::State::kBrowse);
  EXPECT_EQ(phones_->Text("Imie"), "Zofia");
  EXPECT_EQ(phones_->TextAt(1, "Nazwisko"), "Lis");

  // A new row no field was written to is dropped by a move.
  ASSERT_TRUE(phones_->Append().ok());
  ASSERT_TRUE(phones_->MoveTo(1).ok());
  EXPECT_EQ(phones_->RowCount(), 2);
  EXPECT_EQ(phones_->Position(), 1);
}

}  // namespace
}  // namespace store
