// Prefix finds through an index and by a scan, against a walk down the order.

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

}  // namespace
}  // namespace store
