// Zeros written ahead of the end, and the end told in the file: where the
// next structure goes must never land on what anyone wrote.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "store/compact.h"
#include "store/cursor.h"
#include "store/database.h"
#include "store/format.h"
#include "store/testing/files.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::Flushed;
using testing::ReadAll;
using testing::UsedSize;
using testing::WriteAll;

std::int64_t PhysicalSize(const std::string& path) { return std::int64_t(std::filesystem::file_size(path)); }

// A table of numbers with an index on them, so every append links a chain.
void MakeTable(const std::shared_ptr<Database>& db, const std::string& name) {
  ASSERT_TRUE(db->CreateTable(name, {FieldSpec{"n", FieldType::kInt32, 0}, FieldSpec{"s", FieldType::kText, 20}}).ok());
  ASSERT_TRUE(db->CreateIndex(name, name + "ByS", 0, {"s"}).ok());
}

Status AppendRow(Cursor& c, int n) {
  Status s = c.IsOpen() ? Status::Ok() : c.Open();
  if (s.ok()) s = c.Append();
  if (s.ok()) s = c.SetInt("n", n);
  if (s.ok()) s = c.SetText("s", "r" + std::to_string(n * 7919 % 1000));
  if (s.ok()) s = c.Post();
  return s;
}

// The numbers a fresh open reads from a table, in file order, with what a
// verify of the table finds wrong.
std::vector<std::int64_t> Numbers(const std::string& path, const std::string& table, std::string* problems) {
  std::shared_ptr<Database> db;
  std::vector<std::int64_t> numbers;
  Status s = Database::Open(path, Flushed(), &db);
  if (!s.ok()) {
    *problems = s.ToString();
    return numbers;
  }
  std::unique_ptr<TableData> data;
  s = db->LoadTable(table, &data);
  if (!s.ok()) {
    *problems = s.ToString();
    return numbers;
  }
  for (const std::string& p : data->Verify()) *problems += p + "\n";
  Cursor c(db, table);
  if (!c.Open().ok()) return numbers;
  for (c.First(); !c.Eof(); c.Next()) numbers.push_back(c.Int("n"));
  return numbers;
}

std::vector<std::int64_t> Range(int from, int to) {
  std::vector<std::int64_t> out;
  for (int i = from; i < to; ++i) out.push_back(i);
  return out;
}

// A fresh open reads `expected` from the table, and a verify finds nothing.
void ExpectRows(const std::string& path, const std::string& table, const std::vector<std::int64_t>& expected) {
  std::string problems;
  EXPECT_EQ(Numbers(path, table, &problems), expected) << table;
  EXPECT_EQ(problems, "") << table;
}

// A new empty database file in `dir`.
std::string NewDatabase(const testing::TempDir& dir) {
  const std::string path = dir.File("t.tdb");
  EXPECT_TRUE(Database::Create(path).ok());
  return path;
}

TEST(EndHintTest, TheEndIsBelievedOnlyWhereItDescribesTheFile) {
  struct Case {
    const char* name;
    std::string hint;
    std::int64_t size;
    std::int64_t end;
  };
  std::string untagged = EncodeEndHint(20000, 90000);
  untagged[3] = 0;
  const Case cases[] = {
      {"the file and its hint agree", EncodeEndHint(20000, 90000), 90000, 20000},
      {"a file without one", std::string(size_t(kEndHintLength), '\0'), 90000, 90000},
      {"a tag other than the store's", untagged, 90000, 90000},
      {"another writer grew the file past it", EncodeEndHint(20000, 90000), 90512, 90512},
      {"the file was cut below it", EncodeEndHint(20000, 90000), 40000, 40000},
      {"an end past the size it names", EncodeEndHint(95000, 90000), 90000, 90000},
      {"an end inside the fixed part", EncodeEndHint(100, 90000), 90000, 90000},
      {"nothing ahead of the end", EncodeEndHint(90000, 90000), 90000, 90000},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UsedEnd(c.hint.data(), c.size), c.end) << c.name;
  }
}

TEST(EndHintTest, FlushedAppendsGrowTheFileInFewStepsAndEveryRowReadsBack) {
  testing::TempDir dir;
  const std::string path = NewDatabase(dir);
  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::Open(path, Flushed(), &db).ok());
  MakeTable(db, "t");
  const std::int64_t schemaOnly = PhysicalSize(path);
  EXPECT_EQ(UsedSize(path), schemaOnly) << "a new table is written without zeros ahead";
  std::set<std::int64_t> sizes;
  Cursor t(db, "t");
  for (int i = 0; i < 400; ++i) {
    ASSERT_TRUE(AppendRow(t, i).ok()) << i;
    sizes.insert(PhysicalSize(path));
  }
  db.reset();
  // 400 rows and two chunks of tabs take about 80 KB: a 64 KB step, then an eighth of the file.
  EXPECT_LE(sizes.size(), 3u);
  const std::string bytes = ReadAll(path);
  const std::int64_t used = UsedSize(path);
  EXPECT_LT(used, std::int64_t(bytes.size()));
  EXPECT_EQ(bytes.find_first_not_of('\0', size_t(used)), std::string::npos) << "past the end only zeros";
  ExpectRows(path, "t", Range(0, 400));
}

// Two opens of one file stand for two programs: each appends where the
// other left the end, though neither grows the file.
TEST(EndHintTest, TwoWritersOfOneFileAppendPastEachOther) {
  testing::TempDir dir;
  const std::string path = NewDatabase(dir);
  std::shared_ptr<Database> first, second;
  ASSERT_TRUE(Database::Open(path, Flushed(), &first).ok());
  MakeTable(first, "a");
  MakeTable(first, "b");
  ASSERT_TRUE(Database::Open(path, Flushed(), &second).ok());
  // Both hold their table read before the other writes, as two programs do.
  {
    Cursor a(first, "a"), b(second, "b");
    ASSERT_TRUE(AppendRow(a, 0).ok());
    ASSERT_TRUE(AppendRow(b, 0).ok());
    for (int i = 1; i < 60; ++i) {
      ASSERT_TRUE(AppendRow(a, i).ok());
      ASSERT_TRUE(AppendRow(b, i).ok());
      // And each changes a row of its table, which appends the new image.
      Cursor& c = i % 2 ? a : b;
      c.First();
      ASSERT_TRUE(c.Edit().ok());
      ASSERT_TRUE(c.SetText("s", "e" + std::to_string(i)).ok());
      ASSERT_TRUE(c.Post().ok());
    }
  }
  first.reset();
  second.reset();
  for (const char* table : {"a", "b"}) ExpectRows(path, table, Range(0, 60));
}

// An earlier program keeps no hint: it appends at the file's size, past the
// zeros, and what it wrote there must survive the next change of ours; a
// file whose hint is gone is written at its size.
TEST(EndHintTest, AWriterThatKeepsNoHintIsNeverOverwritten) {
  struct Case {
    const char* name;
    bool appendPastTheZeros;
    bool wipeTheHint;
  };
  const Case cases[] = {
      {"bytes appended past the zeros", true, false},
      {"the hint wiped", false, true},
      {"both", true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string path = NewDatabase(dir);
    {
      std::shared_ptr<Database> db;
      ASSERT_TRUE(Database::Open(path, Flushed(), &db).ok());
      MakeTable(db, "t");
      Cursor t(db, "t");
      for (int i = 0; i < 20; ++i) ASSERT_TRUE(AppendRow(t, i).ok());
    }
    std::string bytes = ReadAll(path);
    ASSERT_LT(UsedSize(path), std::int64_t(bytes.size()));
    const std::string foreign(300, '\xAB');
    const size_t foreignAt = bytes.size();
    if (c.appendPastTheZeros) bytes += foreign;
    if (c.wipeTheHint) bytes.replace(size_t(kEndHintOffset), size_t(kEndHintLength), size_t(kEndHintLength), '\0');
    WriteAll(path, bytes);
    const std::int64_t before = PhysicalSize(path);
    {
      std::shared_ptr<Database> db;
      ASSERT_TRUE(Database::Open(path, Flushed(), &db).ok());
      Cursor t(db, "t");
      for (int i = 20; i < 40; ++i) ASSERT_TRUE(AppendRow(t, i).ok());
    }
    const std::string after = ReadAll(path);
    if (c.appendPastTheZeros) {
      EXPECT_EQ(after.substr(foreignAt, foreign.size()), foreign);
    }
    EXPECT_GT(UsedSize(path), before) << "the new rows went past everything there was";
    ExpectRows(path, "t", Range(0, 40));
  }
}

TEST(EndHintTest, ZerosAheadAreNotDeadSpaceButACompactionAskedForRemovesThem) {
  testing::TempDir dir;
  const std::string path = NewDatabase(dir);
  {
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Database::Open(path, Flushed(), &db).ok());
    MakeTable(db, "t");
    Cursor t(db, "t");
    ASSERT_TRUE(AppendRow(t, 1).ok());
  }
  const std::int64_t size = PhysicalSize(path);
  ASSERT_GT(size, 2 * UsedSize(path)) << "most of a small file is zeros ahead";

  CompactOptions atStart;
  atStart.open = Flushed();
  atStart.minDeadShare = 0.5;
  CompactResult result;
  ASSERT_TRUE(CompactFile(path, atStart, &result).ok());
  EXPECT_FALSE(result.compacted);
  EXPECT_EQ(result.before.Dead(), 0);
  EXPECT_EQ(result.before.fileSize, size);
  EXPECT_EQ(PhysicalSize(path), size);

  CompactOptions asked;
  asked.open = Flushed();
  ASSERT_TRUE(CompactFile(path, asked, &result).ok());
  EXPECT_TRUE(result.compacted);
  EXPECT_EQ(PhysicalSize(path), result.before.neededSize);
  EXPECT_EQ(UsedSize(path), PhysicalSize(path));
  ExpectRows(path, "t", std::vector<std::int64_t>{1});
}

}  // namespace
}  // namespace store
