// Compacting a database file: the same rows and orders in a file of minimal
// size, which the store and a reader knowing only FORMAT.md both read; and a
// file in use, or a copy that cannot be written, left exactly as it was.

#include "store/compact.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "store/cursor.h"
#include "store/format.h"
#include "store/table.h"
#include "store/testing/fault_file.h"
#include "store/testing/files.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::Fast;
using testing::ReadAll;

// What readers see of one table: its rows in the file's order and in each
// index's order, and the last auto-increment value handed out.
struct Seen {
  std::vector<std::string> rows;
  std::vector<std::vector<std::string>> orders;
  std::int32_t lastAutoInc = 0;
  bool operator==(const Seen&) const = default;
};
using Picture = std::map<std::string, Seen>;

Picture ThroughTheStore(const std::string& path, std::vector<std::string>* problems) {
  std::shared_ptr<Database> db;
  Picture picture;
  const Status s = Database::Open(path, Fast(), &db);
  if (!s.ok()) {
    problems->push_back(s.message());
    return picture;
  }
  testing::EachTable(db, problems, [&](const std::string& name, const TableData& table) {
    Seen& seen = picture[name];
    seen.lastAutoInc = table.header().lastAutoInc;
    for (std::int32_t row : table.Natural()) seen.rows.push_back(table.Row(row));
    for (size_t slot = 0; slot < table.header().indexes.size(); ++slot) {
      seen.orders.emplace_back();
      for (std::int32_t row : table.Order(int(slot))) seen.orders.back().push_back(table.Row(row));
    }
  });
  return picture;
}

// A reader that knows the file only as FORMAT.md tells it, beyond the
// little-endian integers: it follows every chain from where the file points
// and notes what it could not take as it stands, or what a compacted file
// should not hold (a deleted row, a commit across a sector boundary).
Picture ByTheFormat(const std::string& file, std::vector<std::string>* problems) {
  auto i32 = [&](std::int64_t at) { return GetInt32(file.data() + at); };
  // clang-format off
  auto width = [](int type, int size) {
    switch (type) {
      case 1: case 23: return size + 1;
      case 2: case 4: case 5: return 2;
      case 6: case 7: case 11: case 25: return 8;
      case 15: case 16: case 17: case 18: return 20;
      default: return 4;
    }
  };
  // clang-format on
  // Where a tab holds the item of row n: its chunk found by walking the
  // chain, each chunk inside the file and past the one before; -1 if not.
  auto item = [&](std::int64_t chunk, std::int32_t n, std::int64_t length, int itemLength) -> std::int64_t {
    for (std::int64_t c = 0, previous = 0;; ++c) {
      if (chunk <= previous || chunk + length > std::int64_t(file.size())) return -1;
      if (c == n / 1024) return chunk + 4 + std::int64_t(itemLength) * (n % 1024);
      previous = chunk;
      chunk = i32(chunk);
    }
  };
  Picture picture;
  // clang-format off
  if (file.compare(0, 11, std::string("TinyDB\0" "2.0\0", 11)) != 0) problems->push_back("signature or version");
  // clang-format on
  for (std::int32_t t = 0; problems->empty() && t < i32(2789); ++t) {
    const std::int64_t h = i32(2789 + 8 + 4 * t);
    const std::string name(file.data() + h);
    if ((h + 33) / 512 != (h + 44) / 512) problems->push_back(name + ": commit across a sector boundary");
    const std::int32_t count = i32(h + 37);
    Seen& seen = picture[name];
    seen.lastAutoInc = i32(h + 41);
    int rowSize = 0;
    for (std::int32_t f = 0; f < i32(h + 45); ++f)
      rowSize += width(file[size_t(h + 82 + 43 * f)], i32(h + 83 + 43 * f));
    std::vector<std::string> rows;
    for (std::int32_t n = 0; n < count; ++n) {
      const std::int64_t at = item(i32(h + 33), n, 5124, 5);
      if (at < 0 || file[size_t(at + 4)] != 0 || i32(at) < 3821 || i32(at) + rowSize > std::int64_t(file.size())) {
        problems->push_back(name + ": row " + std::to_string(n) + " missing, deleted or outside the file");
        return picture;
      }
      rows.push_back(file.substr(size_t(i32(at)), size_t(rowSize)));
    }
    seen.rows = rows;
    for (std::int32_t x = 0; x < i32(h + 4177); ++x) {
      const std::int64_t definition = h + 4181 + 78 * x;
      seen.orders.emplace_back();
      std::int32_t row = count > 0 ? i32(definition + 70) : -1;
      for (std::int32_t steps = 0; row != -1 && steps < count; ++steps) {
        const std::int64_t at = row >= 0 && row < count ? item(i32(definition + 66), row, 8196, 8) : -1;
        if (at < 0 || i32(at) != row) break;
        seen.orders.back().push_back(rows[size_t(row)]);
        row = i32(at + 4);
      }
      if (row != -1 || seen.orders.back().size() != rows.size())
        problems->push_back(name + ": an index chain is broken");
    }
  }
  return picture;
}

std::string PhoneOf(int i) { return std::to_string(600100000 + i * 37); }

// A phone row through a cursor, as the configurator makes it.
void AddPhone(Cursor& phones, int i, const std::string& surname) {
  ASSERT_TRUE(phones.Append().ok());
  EXPECT_TRUE(phones.SetInt("ID", i + 2).ok());
  EXPECT_TRUE(phones.SetText("Imie", "Imi\xEA " + std::to_string(i % 17)).ok());
  EXPECT_TRUE(phones.SetText("Nazwisko", surname).ok());
  EXPECT_TRUE(phones.SetText("Tel", PhoneOf(i)).ok());
  const Status s = phones.Post();
  ASSERT_TRUE(s.ok()) << s.message();
}

void ChangeRow(Cursor& cursor, const std::string& field, const std::string& value) {
  ASSERT_TRUE(cursor.Edit().ok());
  EXPECT_TRUE(cursor.SetText(field, value).ok());
  const Status s = cursor.Post();
  ASSERT_TRUE(s.ok()) << s.message();
}

// A run of verifies: every row changed back and forth, surnames moved in
// their order, every third row deleted.
void EditsAndDeletes(const std::shared_ptr<Database>& db, const std::string&) {
  Cursor phones(db, "telefony");
  ASSERT_TRUE(phones.Open().ok());
  for (int i = 0; i < 300; ++i) AddPhone(phones, i, "Nowak" + std::to_string(i % 23));
  for (int round = 0; round < 3; ++round) {
    for (phones.First(); !phones.Eof(); phones.Next()) {
      ChangeRow(phones, "Nazwisko", (round % 2 ? "\257ak" : "Kowalski") + std::to_string(phones.Int("ID") % 7));
    }
  }
  ASSERT_TRUE(phones.SetOrder("TelIndex").ok());
  for (int i = 0; i < 300; i += 3) {
    bool found = false;
    ASSERT_TRUE(phones.Find("Tel", {PhoneOf(i)}, {}, &found).ok());
    ASSERT_TRUE(found && phones.Delete().ok());
  }
}

// More rows than one chunk of a tab holds, before and after.
void PastOneChunk(const std::shared_ptr<Database>& db, const std::string&) {
  Cursor phones(db, "telefony");
  ASSERT_TRUE(phones.Open().ok());
  for (int i = 0; i < 2100; ++i) AddPhone(phones, i, "N" + std::to_string(2100 - i));
  for (int k = 0; k < 900; ++k) ASSERT_TRUE(phones.Delete().ok());
}

void EverythingDeleted(const std::shared_ptr<Database>& db, const std::string&) {
  Cursor phones(db, "telefony");
  ASSERT_TRUE(phones.Open().ok());
  for (int i = 0; i < 40; ++i) AddPhone(phones, i, "Lis");
  while (phones.RowCount() > 0) ASSERT_TRUE(phones.Delete().ok());
}

// A chain whose head a cut left pointing into its middle: the store mends
// the order in memory; the copy holds it whole.
void ChainToMend(const std::shared_ptr<Database>& db, const std::string& path) {
  Cursor phones(db, "telefony");
  ASSERT_TRUE(phones.Open().ok());
  for (int i = 0; i < 60; ++i) AddPhone(phones, i, "Nazwisko" + std::to_string(59 - i));
  ASSERT_TRUE(phones.Delete().ok());
  const std::int64_t head = kFirstTableOffset + TableHeader::IndexDefinitionAt(1) + TableHeader::kIndexHeadAt;
  ASSERT_TRUE(db->file().WriteAt(head, Int32Bytes(30)).ok());
  std::vector<std::string> problems;
  ThroughTheStore(path, &problems);
  ASSERT_FALSE(problems.empty()) << "the chain needs mending";
}

class CompactTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(testing::CreatePhoneDatabase(path_).ok()); }

  std::shared_ptr<Database> Open() {
    std::shared_ptr<Database> db;
    EXPECT_TRUE(Database::Open(path_, Fast(), &db).ok());
    return db;
  }

  Status Compact(CompactResult* result, std::function<Status(const std::string&, std::unique_ptr<File>*)> open = {}) {
    CompactOptions options;
    options.open = Fast();
    options.openCopy = std::move(open);
    return CompactFile(path_, options, result);
  }

  testing::TempDir dir_;
  std::string path_ = dir_.File("selvantrixx.tdb");
};

TEST_F(CompactTest, TheCopyHoldsTheSameRowsAndOrdersInAMinimalFileEveryReaderTakes) {
  struct Case {
    const char* name;
    void (*history)(const std::shared_ptr<Database>&, const std::string&);
  };
  const Case cases[] = {
      {"edits and deletes", &EditsAndDeletes},
      {"past one chunk", &PastOneChunk},
      {"everything deleted", &EverythingDeleted},
      {"a chain to mend", &ChainToMend},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(path_);
    ASSERT_TRUE(testing::CreatePhoneDatabase(path_).ok());
    c.history(Open(), path_);
    ASSERT_EQ(::chmod(path_.c_str(), 0640), 0);
    std::vector<std::string> ignored;
    const Picture before = ThroughTheStore(path_, &ignored);
    const std::int64_t sizeBefore = std::int64_t(std::filesystem::file_size(path_));

    CompactResult result;
    const Status s = Compact(&result);
    ASSERT_TRUE(s.ok()) << s.message();
    ASSERT_TRUE(result.compacted);
    const std::string after = ReadAll(path_);
    EXPECT_EQ(result.before.fileSize, sizeBefore);
    EXPECT_EQ(std::int64_t(after.size()), result.sizeAfter);
    EXPECT_EQ(result.sizeAfter, result.before.neededSize);
    EXPECT_LT(result.sizeAfter, sizeBefore);
    EXPECT_FALSE(std::filesystem::exists(CompactCopyPath(path_)));
    EXPECT_EQ(std::filesystem::status(path_).permissions() & std::filesystem::perms::all, std::filesystem::perms(0640));

    std::vector<std::string> storeProblems, formatProblems;
    EXPECT_EQ(ThroughTheStore(path_, &storeProblems), before);
    EXPECT_EQ(storeProblems, std::vector<std::string>{}) << "the store's full check is clean";
    EXPECT_EQ(ByTheFormat(after, &formatProblems), before);
    EXPECT_EQ(formatProblems, std::vector<std::string>{});

    // Nothing is left to gain, and the store goes on writing the copy.
    ASSERT_TRUE(Compact(&result).ok());
    EXPECT_FALSE(result.compacted);
    EXPECT_EQ(ReadAll(path_), after);
    {
      std::shared_ptr<Database> db = Open();
      Cursor phones(db, "telefony");
      ASSERT_TRUE(phones.Open().ok());
      AddPhone(phones, 5000, "Nowy");
      if (phones.RowCount() > 1) {
        phones.First();
        ChangeRow(phones, "Nazwisko", "Zmieniony");
        ASSERT_TRUE(phones.Delete().ok());
      }
    }
    ThroughTheStore(path_, &storeProblems);
    EXPECT_EQ(storeProblems, std::vector<std::string>{});
  }
}

TEST_F(CompactTest, ANewDatabaseIsAlreadyMinimalAndLeftByteForByte) {
  const std::string bytes = ReadAll(path_);
  CompactResult result;
  ASSERT_TRUE(Compact(&result).ok());
  EXPECT_FALSE(result.compacted);
  EXPECT_EQ(result.before.neededSize, 18284);
  EXPECT_EQ(result.before.Dead(), 0);
  EXPECT_EQ(ReadAll(path_), bytes);
}

TEST_F(CompactTest, AFileInUseOrReadOnlyIsRefusedAndLeftAsItWas) {
  EditsAndDeletes(Open(), path_);
  const std::string bytes = ReadAll(path_);
  CompactResult result;
  {
    std::shared_ptr<Database> other = Open();
    const Status s = Compact(&result);
    EXPECT_EQ(s.code(), Status::Code::kBusy);
    EXPECT_EQ(s.message(),
              "'" + path_ + "' is open in another program; it is compacted only when nothing else has it open");
  }
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  EXPECT_EQ(Compact(&result).message(), "Database file '" + path_ + "' is read-only");
  EXPECT_FALSE(result.compacted);
  EXPECT_EQ(ReadAll(path_), bytes);
  EXPECT_FALSE(std::filesystem::exists(CompactCopyPath(path_)));
}

TEST_F(CompactTest, ACopyThatFailsOrIsCutAtAnyWriteLeavesTheFileAndNoCopy) {
  EditsAndDeletes(Open(), path_);
  const std::string bytes = ReadAll(path_);
  for (const testing::Fault fault : {testing::Fault::kFail, testing::Fault::kCut}) {
    // The k-th write of the copy goes wrong, for every k until a copy takes
    // fewer writes than that and goes through.
    int failed = 0;
    for (int k = 1;; ++k) {
      SCOPED_TRACE(std::string(testing::FaultName(fault)) + " at write " + std::to_string(k));
      testing::WriteAll(path_, bytes);
      CompactResult result;
      const Status s = Compact(&result, [fault, k](const std::string& path, std::unique_ptr<File>* out) {
        std::unique_ptr<testing::FaultFile> file;
        Status opened = testing::FaultFile::Open(path, FileOpenOptions{true, true}, &file);
        if (opened.ok()) {
          file->Arm(fault, k);
          *out = std::move(file);
        }
        return opened;
      });
      if (s.ok()) {
        EXPECT_TRUE(result.compacted);
        break;
      }
      ++failed;
      EXPECT_FALSE(result.compacted);
      EXPECT_EQ(ReadAll(path_), bytes);
      EXPECT_FALSE(std::filesystem::exists(CompactCopyPath(path_)));
      ASSERT_LT(k, 100) << "a copy never went through";
    }
    EXPECT_GE(failed, 2) << "some writes reach the copy before one fails";
  }
}

// Names planted beside the database are not followed, and a database
// reached through a link stays a link to a compacted file.
TEST_F(CompactTest, LinksAreNeitherFollowedWhenPlantedNorReplacedWhenTheDatabaseIsOne) {
  const std::string victim = dir_.File("victim");
  for (const bool databaseIsALink : {false, true}) {
    SCOPED_TRACE(databaseIsALink ? "the database is a link" : "a link planted at the copy's name");
    std::filesystem::remove(path_);
    const std::string real = dir_.File("real.tdb");
    std::filesystem::remove(real);
    ASSERT_TRUE(testing::CreatePhoneDatabase(databaseIsALink ? real : path_).ok());
    if (databaseIsALink) std::filesystem::create_symlink(real, path_);
    EditsAndDeletes(Open(), path_);
    {
      std::ofstream(victim) << "someone else's file";
    }
    ASSERT_EQ(::chmod(victim.c_str(), 0644), 0);
    std::filesystem::remove(CompactCopyPath(path_));
    std::filesystem::create_symlink(victim, CompactCopyPath(path_));
    std::filesystem::create_symlink(victim, CompactCopyPath(real));

    CompactResult result;
    const Status s = Compact(&result);
    ASSERT_TRUE(s.ok()) << s.message();
    EXPECT_TRUE(result.compacted);
    EXPECT_TRUE(ReadAll(victim) == "someone else's file") << "the planted link was followed";
    EXPECT_EQ(std::filesystem::status(victim).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0644));
    EXPECT_EQ(std::filesystem::is_symlink(path_), databaseIsALink);
    EXPECT_EQ(std::int64_t(std::filesystem::file_size(path_)), result.sizeAfter);
    std::filesystem::remove(CompactCopyPath(path_));
    std::filesystem::remove(CompactCopyPath(real));
  }
}

}  // namespace
}  // namespace store
