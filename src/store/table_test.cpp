// TableData on its own: the unique check under each kind of index, the index
// chains on disk kept equal to the orders in memory through a long mix of
// appends, changes and deletes, and what a load makes of damaged chains.

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
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::Fast;
using testing::ReadAll;
using testing::WriteAll;

// Texts UTF-8 here, Windows-1250 in the file.
std::string Cp(const std::string& utf8) { return Utf8ToWindows1250(utf8); }

using Values = std::vector<std::pair<std::string, std::string>>;

// A full row image: the named fields set (texts as bytes, numbers from
// decimal text), every other byte zero. A later value of a field replaces an
// earlier one whole.
std::string Image(const TableData& t, const Values& values) {
  std::string row(size_t(t.RowSize()), '\0');
  for (const auto& [name, value] : values) {
    const int f = t.FieldIndex(name);
    if (f < 0) {
      ADD_FAILURE() << "no field " << name;
      continue;
    }
    const FieldDefinition& def = t.header().fields[size_t(f)];
    char* p = row.data() + t.FieldOffset(f);
    std::memset(p, 0, size_t(FieldWidth(def.type, def.size)));
    if (IsTextType(def.type)) {
      std::memcpy(p, value.data(), std::min(value.size(), size_t(def.size)));
    } else {
      PutFieldNumber(def, p, std::stoll(value));
    }
  }
  return row;
}

Status Create(const std::string& path, const std::vector<FieldSpec>& fields,
              const std::vector<std::tuple<std::string, std::uint8_t, std::vector<std::string>>>& indexes,
              std::shared_ptr<Database>* db) {
  Status s = Database::Create(path);
  if (s.ok()) s = Database::Open(path, Fast(), db);
  if (s.ok()) s = (*db)->CreateTable("t", fields);
  for (const auto& [name, options, keyFields] : indexes) {
    if (s.ok()) s = (*db)->CreateIndex("t", name, options, keyFields);
  }
  return s;
}

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

// The rows an index's chain visits from its head, dead ones included, read
// straight from the file.
std::vector<std::int32_t> ChainInFile(const std::string& file, std::int64_t headerAt, int slot) {
  const char* index = file.data() + headerAt + TableHeader::IndexDefinitionAt(slot);
  std::vector<std::int64_t> chunks;
  for (std::int64_t c = GetInt32(index + TableHeader::kIndexTabAt); c != 0; c = GetInt32(file.data() + c)) {
    if (c < kFirstTableOffset || c + kIndexChunkLength > std::int64_t(file.size()) || chunks.size() > 64) {
      ADD_FAILURE() << "index tab chunk at " << c << " is not in the file";
      return {};
    }
    chunks.push_back(c);
  }
  std::vector<std::int32_t> rows;
  std::vector<char> seen(chunks.size() * kItemsPerChunk, 0);
  for (std::int32_t r = GetInt32(index + TableHeader::kIndexHeadAt); r != -1;) {
    if (r < 0 || size_t(r) >= seen.size()) {
      ADD_FAILURE() << "the chain leaves the index tab at row " << r;
      break;
    }
    const char* item = file.data() + IndexItemOffset(chunks[size_t(r / kItemsPerChunk)], r);
    if (GetInt32(item) != r) {
      ADD_FAILURE() << "the item of row " << r << " names row " << GetInt32(item);
      break;
    }
    if (seen[size_t(r)]++) {
      ADD_FAILURE() << "the chain visits row " << r << " twice";
      break;
    }
    rows.push_back(r);
    r = GetInt32(item + 4);
  }
  return rows;
}

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
        case 0:
          v.n = rng() % 40;
          break;
        case 1:
          v.s = words[rng() % std::size(words)];
          break;
        case 2:
          v.n = rng() % 40;
          v.s = words[rng() % std::size(words)];
          break;
        default:
          break;  // the same values written again
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
      {"a row past the count in the chain",
       [&](std::string* f) { Put(f, header + TableHeader::kRowCountAt, 3); }, 3, 0},
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
