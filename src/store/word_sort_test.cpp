// The hyphen and the apostrophe set aside in the store's order: files whose
// chains were written in the order the store kept before (ICU alone, both
// marks as punctuation before the letters) are mended on load, and finds,
// prefix finds above all, meet the new order.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/testing/files.h"
#include "store/collation.h"
#include "store/cursor.h"
#include "store/database.h"
#include "store/table.h"
#include "store/testing/temp_dir.h"
#include "store/testing/whole_text_order.h"

namespace store {
namespace {

using testing::ReadAll;

std::shared_ptr<Database> OpenWith(const std::string& path, std::shared_ptr<const Collation> collation) {
  Database::Options options;
  options.collation = std::move(collation);
  options.sync = SyncMode::kNone;
  std::shared_ptr<Database> db;
  EXPECT_TRUE(Database::Open(path, options, &db).ok());
  return db;
}

// Appends one phone per surname (UTF-8), telephone numbers 100, 101, ...
void AddSurnames(const std::shared_ptr<Database>& db, const std::vector<std::string>& surnames, int firstTel = 100) {
  Cursor phones(db, "telefony");
  ASSERT_TRUE(phones.Open().ok());
  int tel = firstTel;
  for (const std::string& surname : surnames) {
    ASSERT_TRUE(phones.Append().ok());
    ASSERT_TRUE(phones.SetText("Imie", "x").ok());
    ASSERT_TRUE(phones.SetText("Nazwisko", Utf8ToWindows1250(surname)).ok());
    ASSERT_TRUE(phones.SetText("Tel", std::to_string(tel++)).ok());
    ASSERT_TRUE(phones.Post().ok()) << surname;
  }
}

std::vector<std::string> Surnames(const TableData& t) {
  const int slot = t.IndexSlot("NazwiskoIndex");
  const int field = t.FieldIndex("Nazwisko");
  std::vector<std::string> names;
  for (std::int32_t row : t.Order(slot)) {
    const std::string& image = t.Row(row);
    names.push_back(Windows1250ToUtf8(image.c_str() + t.FieldOffset(field)));
  }
  return names;
}

// The three lists as one table, in the order they were appended.
const std::vector<std::string> kAppended = {"Abc",   "Aba",         "Ab-c",   "Ab c",  "Nowaka",
                                            "Nowak", "Nowak-Zając", "O'Neil", "Oneil", "Onea"};
const std::vector<std::string> kWholeTextOrder = {"Ab c",        "Ab-c",   "Aba",    "Abc",  "Nowak",
                                                  "Nowak-Zając", "Nowaka", "O'Neil", "Onea", "Oneil"};
const std::vector<std::string> kWordSortOrder = {"Ab c",   "Aba",         "Abc",  "Ab-c",  "Nowak",
                                                 "Nowaka", "Nowak-Zając", "Onea", "Oneil", "O'Neil"};
// Walking the old chain, Aba, Abc, Nowaka, Onea and Oneil come after a
// text the new order puts behind them.
const char kMended[] = "index 'NazwiskoIndex' of table 'telefony': 5 row(s) out of place, ordered from their keys";

TEST(WordSortTest, ChainsWrittenInTheOldOrderAreMendedOnLoad) {
  testing::TempDir dir;
  const std::string path = dir.File("old.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
  const auto old = std::make_shared<testing::WholeTextOrder>();
  ASSERT_TRUE(old->ok());
  AddSurnames(OpenWith(path, old), kAppended);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  const std::string written = ReadAll(path);

  const struct {
    const char* name;
    std::shared_ptr<const Collation> collation;
    std::vector<std::string> order;
    std::vector<std::string> repairs;
  } cases[] = {
      // The fixture itself: to the order it was written in, the chain is whole.
      {"read in the order it was written", old, kWholeTextOrder, {}},
      {"read with hyphen and apostrophe set aside", MakeLocaleCollation("pl_PL"), kWordSortOrder, {kMended}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto db = OpenWith(path, c.collation);  // the table compares through it
    std::unique_ptr<TableData> t;
    ASSERT_TRUE(db->LoadTable("telefony", &t).ok());
    EXPECT_EQ(Surnames(*t), c.order);
    EXPECT_EQ(t->repairs, c.repairs);
    EXPECT_EQ(t->Verify(), c.repairs);
    EXPECT_EQ(ReadAll(path), written) << "a load mends in memory only";
  }
}

TEST(WordSortTest, WritesOnAMendedChainKeepTheNewOrder) {
  testing::TempDir dir;
  const std::string path = dir.File("old.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
  AddSurnames(OpenWith(path, std::make_shared<testing::WholeTextOrder>()), kAppended);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());

  // New rows go where the new order wants them; the first of them writes
  // the chain whole in the new order, so every load after has nothing to
  // mend.
  const auto db = OpenWith(path, MakeLocaleCollation("pl_PL"));
  AddSurnames(db, {"Ab-a", "Nowak-Abacki", "Onei"}, 200);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  std::unique_ptr<TableData> t;
  ASSERT_TRUE(db->LoadTable("telefony", &t).ok());
  EXPECT_EQ(Surnames(*t), (std::vector<std::string>{"Ab c", "Aba", "Ab-a", "Abc", "Ab-c", "Nowak", "Nowaka",
                                                    "Nowak-Abacki", "Nowak-Zając", "Onea", "Onei", "Oneil", "O'Neil"}));
  EXPECT_EQ(t->repairs, std::vector<std::string>{});
}

// Finds through NazwiskoIndex. A prefix find compares the row's first bytes,
// as many as the search has: "Nowak" still finds "Nowak-Zając", and "Nowak-"
// asks for the double-barrelled names only. Of the rows that start so, it
// lands on the first in the order, though rows that do not stand between
// them ("Nowa-Kowalska" sorts as "NowaKowalska", between "Nowaka" and
// "Nowak-Zając").
TEST(WordSortTest, FindsMeetTheNewOrder) {
  const std::vector<std::string> many = {"Nowacki", "Nowak", "Nowaka", "Nowak-Zając", "Nowal",
                                         "O'Neil",  "Oneil", "Ab-c",   "Abc"};
  const std::vector<std::string> few = {"Nowacki", "Nowak-Zając", "Nowal"};
  const std::vector<std::string> split = {"Nowacki", "Nowa-Kowalska", "Nowal"};
  // Appended against the order: Nowak, Nowaka, Nowa-Kowalska, Nowak-Zając.
  const std::vector<std::string> marked = {"Nowak-Zając", "Nowa-Kowalska", "Nowaka", "Nowak"};
  struct Case {
    const std::vector<std::string>* rows;
    const char* value;
    bool prefix, ignoreCase;
    const char* expect;  // the surname found, nullptr for none
  };
  const Case cases[] = {
      {&few, "Nowak", true, false, "Nowak-Zając"},
      {&many, "Nowak", true, false, "Nowak"},
      {&many, "Nowak-", true, false, "Nowak-Zając"},
      {&many, "Nowak-Z", true, false, "Nowak-Zając"},
      {&many, "Nowak-z", true, false, nullptr},
      {&many, "nowak-z", true, true, "Nowak-Zając"},
      {&few, "Nowak-", true, false, "Nowak-Zając"},
      {&many, "Nowak'", true, false, nullptr},
      {&many, "Nowaka", true, false, "Nowaka"},
      {&many, "NowakZ", true, false, nullptr},
      {&many, "Nowak-Zając", false, false, "Nowak-Zając"},
      {&many, "NowakZając", false, false, nullptr},
      {&many, "nowak-zając", false, true, "Nowak-Zając"},
      {&many, "O'Neil", false, false, "O'Neil"},
      {&many, "ONeil", false, false, nullptr},
      {&many, "O'", true, false, "O'Neil"},
      {&many, "Ab-c", false, false, "Ab-c"},
      {&many, "Abc", false, false, "Abc"},
      {&many, "Ab-", true, false, "Ab-c"},
      // The marks count among the row's first bytes.
      {&split, "NowaK", true, false, nullptr},
      {&split, "Nowa-K", true, false, "Nowa-Kowalska"},
      {&split, "Nowa", true, false, "Nowacki"},
      {&marked, "Nowak", true, false, "Nowak"},
      {&marked, "Nowa", true, false, "Nowak"},
      {&marked, "Now", true, false, "Nowak"},
      {&marked, "Nowaka", true, false, "Nowaka"},
      {&marked, "Nowa-", true, false, "Nowa-Kowalska"},
      {&marked, "Nowa-K", true, false, "Nowa-Kowalska"},
      {&marked, "Nowak-", true, false, "Nowak-Zając"},
      {&marked, "Nowak-Z", true, false, "Nowak-Zając"},
      {&marked, "NowaK", true, false, nullptr},
      {&marked, "Nowak'", true, false, nullptr},
      {&marked, "Nowak", false, false, "Nowak"},
      {&marked, "Nowa-Kowalska", false, false, "Nowa-Kowalska"},
      {&marked, "NowaKowalska", false, false, nullptr},
      {&marked, "Nowak-Zając", false, false, "Nowak-Zając"},
  };
  testing::TempDir dir;
  std::map<const std::vector<std::string>*, std::shared_ptr<Database>> databases;
  for (const auto* rows : {&many, &few, &split, &marked}) {
    const std::string path = dir.File(std::to_string(databases.size()) + ".tdb");
    ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
    databases[rows] = OpenWith(path, MakeLocaleCollation("pl_PL"));
    AddSurnames(databases[rows], *rows);
    ASSERT_FALSE(::testing::Test::HasFatalFailure());
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.value) + (c.prefix ? " as a prefix" : "") + (c.ignoreCase ? " ignoring case" : ""));
    Cursor phones(databases[c.rows], "telefony");
    ASSERT_TRUE(phones.SetOrder("NazwiskoIndex").ok());
    ASSERT_TRUE(phones.Open().ok());
    Cursor::FindOptions options;
    options.prefix = c.prefix;
    options.ignoreCase = c.ignoreCase;
    bool found = false;
    ASSERT_TRUE(phones.Find("Nazwisko", {Utf8ToWindows1250(c.value)}, options, &found).ok());
    EXPECT_EQ(found, c.expect != nullptr);
    if (c.expect && found) {
      EXPECT_EQ(Windows1250ToUtf8(phones.Text("Nazwisko")), c.expect);
    }
  }
}

}  // namespace
}  // namespace store
