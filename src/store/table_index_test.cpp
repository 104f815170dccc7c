// The index orders a table keeps: how keys compare under each kind of
// index, where equal keys go, and that the chain in the file, read again,
// gives the same order.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "store/database.h"
#include "store/table.h"
#include "store/testing/table_rows.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::Cp;
using testing::Create;
using testing::Image;
using testing::Values;

TEST(TableIndexTest, EachKindOfIndexOrdersItsRowsAndTheFileKeepsTheOrder) {
  struct Case {
    const char* name;
    std::uint8_t options;
    std::vector<std::string> key;
    std::vector<Values> rows;  // appended as rows 0, 1, ...
    std::vector<std::int32_t> order;
  };
  const std::string full(6, 'z');  // fills the field: no terminator
  // clang-format off
  const Case cases[] = {
      {"texts in the Polish order", 0, {"a"}, {{{"a", "b"}}, {{"a", Cp("ą")}}, {{"a", "a"}}, {{"a", Cp("ł")}}, {{"a", "m"}}},
       {2, 1, 0, 3, 4}},
      {"case decides only after the letters", 0, {"a"}, {{{"a", "Bc"}}, {{"a", "bc"}}, {{"a", "ba"}}}, {2, 1, 0}},
      {"case-insensitive: equal keys keep their arrival", kIndexCaseInsensitive, {"a"},
       {{{"a", "AB"}}, {{"a", "ab"}}, {{"a", "Ab"}}, {{"a", "aa"}}}, {3, 0, 1, 2}},
      {"descending", kIndexDescending, {"a"}, {{{"a", "x"}}, {{"a", "z"}}, {{"a", "y"}}}, {1, 2, 0}},
      {"numbers, negative ones first", 0, {"b"}, {{{"b", "10"}}, {{"b", "-3"}}, {{"b", "2"}}, {{"b", "0"}}},
       {1, 3, 2, 0}},
      {"two fields: the second decides between equal firsts", 0, {"a", "b"},
       {{{"a", "k"}, {"b", "2"}}, {{"a", "k"}, {"b", "1"}}, {{"a", "a"}, {"b", "9"}}}, {2, 1, 0}},
      {"a text that fills its field is read to its size only", 0, {"a", "b"},
       {{{"a", full}, {"b", "2"}}, {{"a", full}, {"b", "1"}}}, {1, 0}},
  };
  // clang-format on
  testing::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(std::string("i") + std::to_string(&c - cases) + ".tdb");
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Create(path, {FieldSpec{"a", FieldType::kText, 6}, FieldSpec{"b", FieldType::kInt32, 0}},
                       {{"k", c.options, c.key}}, &db)
                    .ok());
    {
      std::unique_ptr<TableData> t;
      ASSERT_TRUE(db->LoadTable("t", &t).ok());
      for (const Values& row : c.rows) {
        std::int32_t n = -1;
        ASSERT_TRUE(t->Append(*db, Image(*t, row), &n).ok());
      }
      EXPECT_EQ(t->Order(0), c.order);
    }
    std::unique_ptr<TableData> again;
    ASSERT_TRUE(db->LoadTable("t", &again).ok());
    EXPECT_EQ(again->Order(0), c.order) << "the chain in the file";
    EXPECT_TRUE(again->repairs.empty()) << again->repairs.front();
  }
}

// A change moves its row to where its new key stands and a delete takes it
// out, in memory and in the chain the next load walks.
TEST(TableIndexTest, ChangesAndDeletesRelinkTheChain) {
  testing::TempDir dir;
  const std::string path = dir.File("c.tdb");
  std::shared_ptr<Database> db;
  ASSERT_TRUE(
      Create(path, {FieldSpec{"a", FieldType::kText, 6}, FieldSpec{"b", FieldType::kInt32, 0}}, {{"k", 0, {"a"}}}, &db)
          .ok());
  std::unique_ptr<TableData> t;
  ASSERT_TRUE(db->LoadTable("t", &t).ok());
  for (const char* a : {"b", "d", "f", "h"}) {
    std::int32_t n = -1;
    ASSERT_TRUE(t->Append(*db, Image(*t, {{"a", a}}), &n).ok());
  }
  ASSERT_TRUE(t->Change(*db, 3, Image(*t, {{"a", "a"}})).ok());  // to the head
  ASSERT_TRUE(t->Change(*db, 0, Image(*t, {{"a", "e"}})).ok());  // into the middle
  ASSERT_TRUE(t->Delete(*db, 2).ok());                           // the tail
  const std::vector<std::int32_t> order{3, 1, 0};
  EXPECT_EQ(t->Order(0), order);
  std::unique_ptr<TableData> again;
  ASSERT_TRUE(db->LoadTable("t", &again).ok());
  EXPECT_EQ(again->Order(0), order);
  EXPECT_TRUE(again->repairs.empty()) << again->repairs.front();
}

}  // namespace
}  // namespace store
