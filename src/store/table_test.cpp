// TableData on its own: the unique check under each kind of index, and the
// index chains on disk kept equal to the orders in memory through a long mix
// of appends, changes and deletes.

#include "store/testing/files.h"
#include "store/table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "store/collation.h"
#include "store/database.h"
#include "store/format.h"
#include "store/testing/table_rows.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::ChainInFile;
using testing::Cp;
using testing::Create;
using testing::Fast;
using testing::Image;
using testing::ReadAll;
using testing::Values;
using testing::WriteAll;

// ---------------------------------------------------------------------------

struct UniqueCase {
  const char* name;
  std::uint8_t options;
  std::vector<std::string> key;  // the index's fields in key order
  std::vector<Values> rows;      // stored first, as rows 0, 1, ...
  int deleted;                   // a stored row deleted before the check, or -1
  int change;                    // the stored row `values` go to, or -1 to append them
  Values values;
  std::string refusal;  // empty: accepted
};

std::string Refusal(const std::string& key) { return "Invalid unique field value '" + key + "'"; }

TEST(TableTest, UniqueCheckUnderEachKindOfIndex) {
  constexpr std::uint8_t kUnique = kIndexUnique;
  // clang-format off
  const UniqueCase cases[] = {
      {"unique: another case is another key", kUnique, {"a"}, {{{"a", "Abc"}}}, -1, -1, {{"a", "abc"}}, ""},
      {"unique: the same text", kUnique, {"a"}, {{{"a", "Abc"}}}, -1, -1, {{"a", "Abc"}}, Refusal("Abc")},
      {"case-insensitive: case does not make a new key", kUnique | kIndexCaseInsensitive, {"a"}, {{{"a", "Abc"}}}, -1,
       -1, {{"a", "aBC"}}, Refusal("aBC")},
      {"case-insensitive: Polish capitals clash", kUnique | kIndexCaseInsensitive, {"a"}, {{{"a", Cp("Łoś")}}}, -1, -1,
       {{"a", Cp("ŁOŚ")}}, Refusal(Cp("ŁOŚ"))},
      {"case-insensitive: ł and ś are letters apart from l and s", kUnique | kIndexCaseInsensitive, {"a"}, {{{"a", Cp("Łoś")}}},
       -1, -1, {{"a", "los"}}, ""},
      {"descending: the same text", kUnique | kIndexDescending, {"a"}, {{{"a", "x"}}, {{"a", "z"}}}, -1, -1,
       {{"a", "z"}}, Refusal("z")},
      {"descending: a key between two", kUnique | kIndexDescending, {"a"}, {{{"a", "x"}}, {{"a", "z"}}}, -1, -1,
       {{"a", "y"}}, ""},
      {"primary on a number", kIndexPrimary, {"b"}, {{{"b", "7"}}, {{"b", "-7"}}}, -1, -1, {{"b", "-7"}}, Refusal("-7")},
      {"two fields: one of them equal", kUnique, {"a", "b"}, {{{"a", "k"}, {"b", "1"}}}, -1, -1,
       {{"a", "k"}, {"b", "2"}}, ""},
      {"two fields: both equal", kUnique, {"a", "b"}, {{{"a", "k"}, {"b", "1"}}}, -1, -1, {{"a", "k"}, {"b", "1"}},
       Refusal("k,1")},
      {"two fields named in key order", kUnique, {"b", "a"}, {{{"a", "k"}, {"b", "1"}}}, -1, -1,
       {{"a", "k"}, {"b", "1"}}, Refusal("1,k")},
      {"a plain index takes duplicates", 0, {"a"}, {{{"a", "x"}}}, -1, -1, {{"a", "x"}}, ""},
      {"a deleted row's key is free", kUnique, {"a"}, {{{"a", "x"}}}, 0, -1, {{"a", "x"}}, ""},
      {"a change may keep its own key", kUnique, {"a"}, {{{"a", "x"}}, {{"a", "y"}}}, -1, 0, {{"b", "5"}}, ""},
      {"a change to another row's key", kUnique, {"a"}, {{{"a", "x"}}, {{"a", "y"}}}, -1, 0, {{"a", "y"}},
       Refusal("y")},
      {"case-insensitive: a change to its own key in capitals", kUnique | kIndexCaseInsensitive, {"a"},
       {{{"a", "Abc"}}, {{"a", "x"}}}, -1, 0, {{"a", "ABC"}}, ""},
      {"case-insensitive: a change to another row's key in capitals", kUnique | kIndexCaseInsensitive, {"a"},
       {{{"a", "Abc"}}, {{"a", "x"}}}, -1, 1, {{"a", "ABC"}}, Refusal("ABC")},
  };
  // clang-format on
  testing::TempDir dir;
  for (const UniqueCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(std::string("u") + std::to_string(&c - cases) + ".tdb");
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Create(path, {FieldSpec{"a", FieldType::kText, 6}, FieldSpec{"b", FieldType::kInt32, 0}},
                       {{"k", c.options, c.key}}, &db)
                    .ok());
    std::unique_ptr<TableData> t;
    ASSERT_TRUE(db->LoadTable("t", &t).ok());
    for (const Values& row : c.rows) {
      std::int32_t n = -1;
      ASSERT_TRUE(t->Append(*db, Image(*t, row), &n).ok());
    }
    if (c.deleted >= 0) {
      ASSERT_TRUE(t->Delete(*db, c.deleted).ok());
    }

    Values values = c.change >= 0 ? c.rows[size_t(c.change)] : Values{};
    values.insert(values.end(), c.values.begin(), c.values.end());
    const std::string image = Image(*t, values);
    const std::string before = ReadAll(path);
    std::int32_t n = -1;
    const Status s = c.change >= 0 ? t->Change(*db, c.change, image) : t->Append(*db, image, &n);
    if (c.refusal.empty()) {
      ASSERT_TRUE(s.ok()) << s.ToString();
      EXPECT_EQ(t->Row(c.change >= 0 ? c.change : n), image);
    } else {
      EXPECT_EQ(s.code(), Status::Code::kUniqueViolation) << s.ToString();
      EXPECT_EQ(s.message(), c.refusal);
      EXPECT_EQ(ReadAll(path), before) << "a refusal writes nothing";
    }
  }
}

// ---------------------------------------------------------------------------
// Index chains under a long mix of changes. Every so often each chain is
// walked in the file's bytes and must give the order the table holds in
// memory; that order must be sorted and hold exactly the live rows; and a
// fresh load must find every chain whole and give the same orders.

struct Stored {
  std::int64_t id = 0, n = 0;
  std::string s;
};

// The indexes of the mixed run and how their keys compare, worked out from
// the stored values rather than the row bytes.
struct MixIndex {
  const char* name;
  std::uint8_t options;
  std::vector<std::string> fields;
};
const MixIndex kMixIndexes[] = {
    {"byN", 0, {"n"}},
    {"byNDown", kIndexDescending, {"n"}},
    {"bySNoCase", kIndexCaseInsensitive, {"s"}},
    {"bySThenN", 0, {"s", "n"}},
    {"byIdDown", kIndexUnique | kIndexDescending, {"id"}},
};

int CompareStored(const Collation& collation, const MixIndex& index, const Stored& a, const Stored& b) {
  for (const std::string& field : index.fields) {
    int c = 0;
    if (field == "s") {
      c = collation.Compare(a.s, b.s, (index.options & kIndexCaseInsensitive) != 0);
    } else {
      const std::int64_t x = field == "n" ? a.n : a.id, y = field == "n" ? b.n : b.id;
      c = x < y ? -1 : (x > y ? 1 : 0);
    }
    if (c != 0) return (index.options & kIndexDescending) ? -c : c;
  }
  return 0;
}

void CheckChains(const std::string& path, const Database& db, const TableData& t,
                 const std::map<std::int32_t, Stored>& live, const char* when) {
  SCOPED_TRACE(when);
  const std::string file = ReadAll(path);
  std::vector<std::int32_t> liveRows;
  for (const auto& [row, stored] : live) liveRows.push_back(row);
  std::vector<std::int32_t> natural = t.Natural();
  std::sort(natural.begin(), natural.end());
  ASSERT_EQ(natural, liveRows);
  for (int slot = 0; slot < int(std::size(kMixIndexes)); ++slot) {
    const MixIndex& index = kMixIndexes[slot];
    SCOPED_TRACE(index.name);
    ASSERT_EQ(t.header().indexes[size_t(slot)].name, index.name);
    std::vector<std::int32_t> chain = ChainInFile(file, t.headerOffset(), slot);
    chain.erase(std::remove_if(chain.begin(), chain.end(), [&](std::int32_t r) { return !live.count(r); }),
                chain.end());
    const std::vector<std::int32_t>& order = t.Order(slot);
    EXPECT_EQ(chain, order) << "the chain in the file and the order in memory differ";
    std::vector<std::int32_t> members = order;
    std::sort(members.begin(), members.end());
    EXPECT_EQ(members, liveRows) << "the order does not hold exactly the live rows";
    for (size_t i = 1; i < order.size(); ++i) {
      const int c = CompareStored(db.collation(), index, live.at(order[i - 1]), live.at(order[i]));
      EXPECT_TRUE(c < 0 || (c == 0 && !(index.options & kIndexUnique)))
          << "rows " << order[i - 1] << " and " << order[i] << " at " << i;
    }
  }
}

TEST(TableTest, ChainsInTheFileFollowEveryAppendChangeAndDelete) {
  testing::TempDir dir;
  const std::string path = dir.File("mix.tdb");
  std::shared_ptr<Database> db;
  std::vector<std::tuple<std::string, std::uint8_t, std::vector<std::string>>> indexes;
  for (const MixIndex& index : kMixIndexes) indexes.emplace_back(index.name, index.options, index.fields);
  ASSERT_TRUE(Create(path,
                     {FieldSpec{"id", FieldType::kInt32, 0}, FieldSpec{"n", FieldType::kInt32, 0},
                      FieldSpec{"s", FieldType::kText, 8}},
                     indexes, &db)
                  .ok());
  std::unique_ptr<TableData> t;
  ASSERT_TRUE(db->LoadTable("t", &t).ok());

  // Few distinct values, so that equal keys are common in every index but
  // the unique one; past row 1024 the tabs have a second chunk.
  const char* const words[] = {"ala", "Ala", "ALA", "bob", "Bob", "cyryl", "Cyryl", "dan", "ela", "Ela", "zenon"};
  std::mt19937 rng(20240501);
  std::map<std::int32_t, Stored> live;
  std::int64_t nextId = 1;
  auto image = [&](const Stored& v) {
    return Image(*t, {{"id", std::to_string(v.id)}, {"n", std::to_string(v.n)}, {"s", v.s}});
  };
  auto anyLiveRow = [&] { return std::next(live.begin(), std::ptrdiff_t(rng() % live.size()))->first; };
  int operations = 0;
  while (t->header().rowCount < 1100) {
    const unsigned pick = rng() % 10;
    if (live.empty() || pick < 6) {
      const Stored v{nextId++, std::int64_t(rng() % 40), words[rng() % std::size(words)]};
      std::int32_t n = -1;
      ASSERT_TRUE(t->Append(*db, image(v), &n).ok()) << operations;
      live[n] = v;
    } else if (pick < 9) {
      const std::int32_t row = anyLiveRow();
      Stored v = live[row];
      switch (rng() % 4) {
        case 0: v.n = rng() % 40; break;
        case 1: v.s = words[rng() % std::size(words)]; break;
        case 2:
          v.n = rng() % 40;
          v.s = words[rng() % std::size(words)];
          break;
        default: break;  // the same values written again
      }
      if (rng() % 4 == 0) v.id = nextId++;
      ASSERT_TRUE(t->Change(*db, row, image(v)).ok()) << operations;
      live[row] = v;
    } else {
      const std::int32_t row = anyLiveRow();
      ASSERT_TRUE(t->Delete(*db, row).ok()) << operations;
      live.erase(row);
    }
    if (++operations % 150 == 0) {
      CheckChains(path, *db, *t, live, ("after operation " + std::to_string(operations)).c_str());
      if (HasFatalFailure()) return;
    }
  }
  CheckChains(path, *db, *t, live, "at the end");
  ASSERT_FALSE(HasFatalFailure());

  std::unique_ptr<TableData> fresh;
  ASSERT_TRUE(db->LoadTable("t", &fresh).ok());
  EXPECT_EQ(fresh->repairs, std::vector<std::string>{});
  EXPECT_EQ(fresh->Verify(), std::vector<std::string>{});
  for (int slot = 0; slot < int(std::size(kMixIndexes)); ++slot) {
    EXPECT_EQ(fresh->Order(slot), t->Order(slot)) << kMixIndexes[slot].name;
  }
  for (const auto& [row, stored] : live) ASSERT_EQ(fresh->Row(row), image(stored)) << "row " << row;
}

}  // namespace
}  // namespace store
