// What a table's load makes of damaged index chains, and how the first write
// after it settles them.

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
using testing::Create;
using testing::Fast;
using testing::Image;
using testing::ReadAll;
using testing::WriteAll;

// ---------------------------------------------------------------------------
// Damage a load meets: a table of four rows whose n are 30, 10, 40, 20, so
// that the chain of its index on n runs 1, 3, 0, 2.

struct Layout {
  std::int64_t header = 0, recordTab = 0, indexTab = 0;
  std::vector<std::int64_t> rowAt;
  std::int64_t Item(std::int32_t row) const { return RecordItemOffset(recordTab, row); }
  std::int64_t IndexItem(std::int32_t row) const { return IndexItemOffset(indexTab, row); }
};

struct DamageCase {
  const char* name;
  std::function<void(const Layout&, std::string*)> damage;
  std::vector<std::int32_t> order;  // by n, after the load
  std::vector<std::string> repairs;
  std::vector<std::string> verify;  // found by the full check beyond the repairs
  const char* refusal;              // the load's message, when it refuses
};

void Put(std::string* file, std::int64_t at, std::int32_t value) { PutInt32(file->data() + at, value); }

TEST(TableTest, LoadMendsDamagedChainsInMemoryAndSaysWhat) {
  testing::TempDir dir;
  const std::string base = dir.File("base.tdb");
  {
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Create(base, {FieldSpec{"n", FieldType::kInt32, 0}, FieldSpec{"s", FieldType::kText, 8}},
                       {{"byN", 0, {"n"}}}, &db)
                    .ok());
    std::unique_ptr<TableData> t;
    ASSERT_TRUE(db->LoadTable("t", &t).ok());
    int i = 0;
    for (const char* n : {"30", "10", "40", "20"}) {
      std::int32_t row = -1;
      ASSERT_TRUE(t->Append(*db, Image(*t, {{"n", n}, {"s", "r" + std::to_string(i++)}}), &row).ok());
    }
  }
  const std::string intact = ReadAll(base);
  Layout l;
  l.header = GetInt32(intact.data() + kDirectoryOffset + 8);
  l.recordTab = GetInt32(intact.data() + l.header + TableHeader::kRecordTabAt);
  l.indexTab = GetInt32(intact.data() + l.header + TableHeader::IndexDefinitionAt(0) + TableHeader::kIndexTabAt);
  for (std::int32_t r = 0; r < 4; ++r) l.rowAt.push_back(GetInt32(intact.data() + l.Item(r)));
  const std::int64_t head = l.header + TableHeader::IndexDefinitionAt(0) + TableHeader::kIndexHeadAt;
  const std::int64_t rowCount = l.header + TableHeader::kRowCountAt;
  auto next = [&](std::int32_t row) { return l.IndexItem(row) + 4; };
  const std::string mended = "index 'byN' of table 't': ";

  // clang-format off
  const DamageCase cases[] = {
      {"intact", [](const Layout&, std::string*) {}, {1, 3, 0, 2}, {}, {}, nullptr},
      {"the chain ends early", [&](const Layout&, std::string* f) { Put(f, next(3), -1); }, {1, 3, 0, 2},
       {mended + "2 row(s) out of place, ordered from their keys"}, {}, nullptr},
      {"the chain turns back to its head", [&](const Layout&, std::string* f) { Put(f, next(0), 1); }, {1, 3, 0, 2},
       {mended + "chain broken; 1 row(s) out of place, ordered from their keys"}, {}, nullptr},
      {"the head lies past the index tab", [&](const Layout&, std::string* f) { Put(f, head, 5000); }, {1, 3, 0, 2},
       {mended + "chain broken; 4 row(s) out of place, ordered from their keys"}, {}, nullptr},
      {"an item names another row", [&](const Layout& x, std::string* f) { Put(f, x.IndexItem(3), 0); },
       {1, 3, 0, 2}, {mended + "chain broken; 3 row(s) out of place, ordered from their keys"}, {}, nullptr},
      {"the chain runs out of key order",
       [&](const Layout&, std::string* f) {
         Put(f, next(1), 0);
         Put(f, next(0), 3);
         Put(f, next(3), 2);
       },
       {1, 3, 0, 2}, {mended + "1 row(s) out of place, ordered from their keys"}, {}, nullptr},
      {"a deleted row in the chain is passed over",
       [](const Layout& x, std::string* f) { (*f)[size_t(x.Item(3) + 4)] = 1; }, {1, 0, 2}, {}, {}, nullptr},
      {"a row past the count in the chain is followed", [&](const Layout&, std::string* f) { Put(f, rowCount, 3); },
       {1, 0, 2}, {}, {}, nullptr},
      {"a loop among rows past the count ends the walk",
       [&](const Layout&, std::string* f) {
         Put(f, rowCount, 3);
         Put(f, next(3), 3);
       },
       {1, 0, 2}, {mended + "chain broken; 2 row(s) out of place, ordered from their keys"}, {}, nullptr},
      {"the last row's item is empty", [](const Layout& x, std::string* f) { Put(f, x.Item(3), 0); }, {1, 0, 2},
       {"table 't': row 3 was never completed (the file ends inside it or its item is empty); left out"}, {},
       nullptr},
      {"a text without its terminating zero", [](const Layout& x, std::string* f) { (*f)[size_t(x.rowAt[2] + 4 + 8)] = 'x'; },
       {1, 3, 0, 2}, {}, {"table 't' row 2: text of field 's' has no terminating zero"}, nullptr},
      {"a row before the last outside the file",
       [](const Layout& x, std::string* f) { Put(f, x.Item(1), 0); },
       {}, {}, {}, "row 1 of table 't' points outside the file"},
  };
  // clang-format on
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string damaged = intact;
    c.damage(l, &damaged);
    const std::string path = dir.File("damaged.tdb");
    WriteAll(path, damaged);
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Database::Open(path, Fast(), &db).ok());
    std::unique_ptr<TableData> t;
    const Status s = db->LoadTable("t", &t);
    if (c.refusal) {
      EXPECT_EQ(s.code(), Status::Code::kCorruption);
      EXPECT_EQ(s.message(), c.refusal);
      continue;
    }
    ASSERT_TRUE(s.ok()) << s.ToString();
    EXPECT_EQ(t->Order(0), c.order);
    EXPECT_EQ(t->repairs, c.repairs);
    std::vector<std::string> verify = c.repairs;
    verify.insert(verify.end(), c.verify.begin(), c.verify.end());
    EXPECT_EQ(t->Verify(), verify);
    EXPECT_EQ(ReadAll(path), damaged) << "a load mends in memory only";
  }
}

// The chain a load mended, or one that still links a row that never
// counted, is written whole by the next write, whatever the write:
// afterwards the chain in the file walks the live rows in key order, a
// fresh load has nothing to mend, and every row reads as before.
TEST(TableTest, TheWriteAfterALoadThatMendedAChainSettlesIt) {
  testing::TempDir dir;
  const std::string base = dir.File("base.tdb");
  const std::int32_t values[] = {30, 10, 40, 20};
  {
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Create(base, {FieldSpec{"n", FieldType::kInt32, 0}, FieldSpec{"s", FieldType::kText, 8}},
                       {{"byN", 0, {"n"}}}, &db)
                    .ok());
    std::unique_ptr<TableData> t;
    ASSERT_TRUE(db->LoadTable("t", &t).ok());
    for (std::int32_t n : values) {
      std::int32_t row = -1;
      ASSERT_TRUE(t->Append(*db, Image(*t, {{"n", std::to_string(n)}, {"s", "r"}}), &row).ok());
    }
  }
  const std::string intact = ReadAll(base);
  const std::int64_t header = GetInt32(intact.data() + kDirectoryOffset + 8);
  const std::int64_t definition = header + TableHeader::IndexDefinitionAt(0);
  const std::int64_t tab = GetInt32(intact.data() + definition + TableHeader::kIndexTabAt);
  const std::int64_t head = definition + TableHeader::kIndexHeadAt;
  auto next = [&](std::int32_t row) { return IndexItemOffset(tab, row) + 4; };

  // The chain runs 1, 3, 0, 2; each damage leaves something for a load to
  // mend, but for a row whose append never counted: a load passes over it,
  // while the next append takes its number.
  const struct {
    const char* name;
    std::function<void(std::string*)> damage;
    std::int32_t rows;  // the row count the damage leaves
    size_t repairs;     // what the load says it mended
  } damages[] = {
      {"the chain ends early", [&](std::string* f) { Put(f, next(3), -1); }, 4, 1},
      {"the chain turns back to its head", [&](std::string* f) { Put(f, next(0), 1); }, 4, 1},
      {"the head lies past the index tab", [&](std::string* f) { Put(f, head, 5000); }, 4, 1},
      {"an item names another row", [&](std::string* f) { Put(f, IndexItemOffset(tab, 3), 0); }, 4, 1},
      {"the chain runs out of key order",
       [&](std::string* f) {
         Put(f, next(1), 0);
         Put(f, next(0), 3);
         Put(f, next(3), 2);
       },
       4, 1},
      {"a loop among rows past the count",
       [&](std::string* f) {
         Put(f, header + TableHeader::kRowCountAt, 3);
         Put(f, next(3), 3);
       },
       3, 1},
      {"a row past the count in the chain", [&](std::string* f) { Put(f, header + TableHeader::kRowCountAt, 3); }, 3,
       0},
  };
  enum Kind { kAppend, kMove, kStay, kDelete };
  const struct {
    const char* name;
    Kind kind;
    std::int32_t row;  // the row changed or deleted
    std::int32_t n;    // the value appended or changed to
  } writes[] = {
      {"an append", kAppend, -1, 25},
      {"a change that moves a row", kMove, 0, 5},
      {"a change that leaves the row in its place", kStay, 2, 40},
      {"a delete", kDelete, 1, 0},
  };
  for (const auto& d : damages) {
    for (const auto& w : writes) {
      SCOPED_TRACE(std::string(d.name) + ", then " + w.name);
      std::string damaged = intact;
      d.damage(&damaged);
      const std::string path = dir.File("damaged.tdb");
      WriteAll(path, damaged);
      std::shared_ptr<Database> db;
      ASSERT_TRUE(Database::Open(path, Fast(), &db).ok());
      std::unique_ptr<TableData> t;
      ASSERT_TRUE(db->LoadTable("t", &t).ok());
      ASSERT_EQ(t->repairs.size(), d.repairs);

      std::map<std::int32_t, std::int32_t> live;  // row, n
      for (std::int32_t r = 0; r < d.rows; ++r) live[r] = values[r];
      const std::string rowS = w.kind == kStay ? "moved" : "r";
      if (w.kind == kAppend) {
        std::int32_t row = -1;
        ASSERT_TRUE(t->Append(*db, Image(*t, {{"n", std::to_string(w.n)}, {"s", "r"}}), &row).ok());
        live[row] = w.n;
      } else if (w.kind == kDelete) {
        ASSERT_TRUE(t->Delete(*db, w.row).ok());
        live.erase(w.row);
      } else {
        ASSERT_TRUE(t->Change(*db, w.row, Image(*t, {{"n", std::to_string(w.n)}, {"s", rowS}})).ok());
        live[w.row] = w.n;
      }
      std::vector<std::int32_t> expected;
      for (const auto& [row, n] : live) expected.push_back(row);
      std::sort(expected.begin(), expected.end(), [&](std::int32_t a, std::int32_t b) { return live[a] < live[b]; });
      EXPECT_EQ(t->Order(0), expected);
      EXPECT_EQ(t->repairs, std::vector<std::string>{}) << "settled in memory too";

      std::vector<std::int32_t> chain = ChainInFile(ReadAll(path), t->headerOffset(), 0);
      chain.erase(std::remove_if(chain.begin(), chain.end(), [&](std::int32_t r) { return !live.count(r); }),
                  chain.end());
      EXPECT_EQ(chain, expected) << "the chain in the file";
      std::unique_ptr<TableData> fresh;
      ASSERT_TRUE(db->LoadTable("t", &fresh).ok());
      EXPECT_EQ(fresh->repairs, std::vector<std::string>{});
      EXPECT_EQ(fresh->Verify(), std::vector<std::string>{});
      EXPECT_EQ(fresh->Order(0), expected);
      for (const auto& [row, n] : live) {
        const std::string s = w.kind == kStay && row == w.row ? rowS : "r";
        EXPECT_EQ(fresh->Row(row), Image(*fresh, {{"n", std::to_string(n)}, {"s", s}})) << "row " << row;
      }
    }
  }
}

// A chain a load mended on a table of a full first chunk and of one row
// more: the settled tab has every chunk, and an append that starts a new
// chunk, or fills the second, links into it.
TEST(TableTest, SettledChainsSpanEveryChunkOfTheIndexTab) {
  for (const std::int32_t rows : {1024, 1025, 2047}) {
    SCOPED_TRACE(std::to_string(rows) + " rows");
    testing::TempDir dir;
    const std::string path = dir.File("big.tdb");
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Create(path, {FieldSpec{"n", FieldType::kInt32, 0}}, {{"byN", 0, {"n"}}}, &db).ok());
    {
      std::unique_ptr<TableData> t;
      ASSERT_TRUE(db->LoadTable("t", &t).ok());
      for (std::int32_t i = 0; i < rows; ++i) {
        std::int32_t row = -1;
        // Descending values: every row is the new head.
        ASSERT_TRUE(t->Append(*db, Image(*t, {{"n", std::to_string(rows - i)}}), &row).ok());
      }
    }
    // Cut the chain after its first row: every other row is missed.
    std::string file = ReadAll(path);
    const std::int64_t header = GetInt32(file.data() + kDirectoryOffset + 8);
    const char* index = file.data() + header + TableHeader::IndexDefinitionAt(0);
    const std::int32_t first = GetInt32(index + TableHeader::kIndexHeadAt);
    std::int64_t chunk = GetInt32(index + TableHeader::kIndexTabAt);
    for (std::int32_t c = 0; c < first / kItemsPerChunk; ++c) chunk = GetInt32(file.data() + chunk);
    Put(&file, IndexItemOffset(chunk, first) + 4, -1);
    WriteAll(path, file);

    ASSERT_TRUE(Database::Open(path, Fast(), &db).ok());
    std::unique_ptr<TableData> t;
    ASSERT_TRUE(db->LoadTable("t", &t).ok());
    ASSERT_EQ(t->repairs.size(), 1u);
    std::int32_t row = -1;
    ASSERT_TRUE(t->Append(*db, Image(*t, {{"n", "0"}}), &row).ok());
    std::vector<std::int32_t> expected = {row};
    for (std::int32_t r = rows - 1; r >= 0; --r) expected.push_back(r);
    EXPECT_EQ(ChainInFile(ReadAll(path), t->headerOffset(), 0), expected);
    std::unique_ptr<TableData> fresh;
    ASSERT_TRUE(db->LoadTable("t", &fresh).ok());
    EXPECT_EQ(fresh->repairs, std::vector<std::string>{});
    EXPECT_EQ(fresh->Order(0), expected);
  }
}

}  // namespace
}  // namespace store
