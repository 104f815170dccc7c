// Appends committed in groups: what they cost in flushes, that a cut or a
// failed write at any of their writes leaves a file that checks ok with
// whole groups only, and that other writers keep out while rows are pending.
// And every row replaced in one commit: the old rows or the new ones.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/cursor.h"
#include "store/database.h"
#include "store/table.h"
#include "store/testing/fault_file.h"
#include "store/testing/files.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::Fast;
using testing::Fault;
using testing::FaultFile;
using testing::ReadAll;
using testing::TempDir;
using testing::WriteAll;

// Rows already in the table before a group, so that the group's rows start a
// second record-tab and index-tab chunk on the way.
constexpr int kBefore = 1021;
constexpr int kGroupRows = 10;
constexpr int kRowsPerCommit = 4;

std::string TelOf(int i) { return std::to_string(600000000 + (i * 7919) % 100000); }
// Names out of append order, so every new row links into the middle of a chain.
std::string NameOf(int i) { return "N" + std::to_string((i * 37) % 101); }

// An auto-increment field, a unique index and a plain one: every kind of
// write an append makes, the auto-increment value included.
void MakeTable(const std::string& path) {
  ASSERT_TRUE(Database::Create(path).ok());
  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::Open(path, Fast(), &db).ok());
  ASSERT_TRUE(db->CreateTable("wpisy", {FieldSpec{"Nr", FieldType::kAutoInc, 0}, FieldSpec{"Tel", FieldType::kText, 12},
                                        FieldSpec{"Nazwa", FieldType::kText, 20}})
                  .ok());
  ASSERT_TRUE(db->CreateIndex("wpisy", "TelIndex", kIndexUnique, {"Tel"}).ok());
  ASSERT_TRUE(db->CreateIndex("wpisy", "NazwaIndex", 0, {"Nazwa"}).ok());
  Cursor cursor(db, "wpisy");
  ASSERT_TRUE(cursor.Open().ok());
  for (int i = 0; i < kBefore; ++i) {
    ASSERT_TRUE(cursor.Append().ok());
    ASSERT_TRUE(cursor.SetText("Tel", TelOf(i)).ok());
    ASSERT_TRUE(cursor.SetText("Nazwa", NameOf(i)).ok());
    ASSERT_TRUE(cursor.Post().ok());
  }
}

Status PostRow(Cursor& cursor, int i) {
  Status s = cursor.Append();
  if (s.ok()) s = cursor.SetText("Tel", TelOf(i));
  if (s.ok()) s = cursor.SetText("Nazwa", NameOf(i));
  if (s.ok()) s = cursor.Post();
  if (!s.ok()) cursor.Cancel();
  return s;
}

struct GroupRun {
  std::vector<int> commitWrites;    // the write count after each group's commit
  std::vector<int> committedRows;   // rows of the group in the table after it
  std::vector<std::string> stored;  // Tel of every row the cursor holds at the end, in row order
  int syncs = 0;
};

// The table's file opened through a FaultFile; `faults` counts and cuts.
std::shared_ptr<Database> OpenFaulty(const std::string& path, FaultFile** faults) {
  std::unique_ptr<FaultFile> file;
  EXPECT_TRUE(FaultFile::Open(path, FileOpenOptions{}, &file).ok());
  *faults = file.get();
  std::shared_ptr<Database> db;
  EXPECT_TRUE(Database::OpenOn(std::move(file), testing::Flushed(), &db).ok());
  return db;
}

// The group's rows through a cursor over a faulty file; keeps going after a
// failure, as a command that reports its errors at the end would.
GroupRun Group(const std::string& path, Fault fault, int k, int rowsPerCommit, int sectors = 1,
               std::vector<std::pair<std::int64_t, std::size_t>>* log = nullptr) {
  GroupRun run;
  FaultFile* faults = nullptr;
  std::shared_ptr<Database> db = OpenFaulty(path, &faults);
  {
    Cursor cursor(db, "wpisy");
    EXPECT_TRUE(cursor.Open().ok());
    faults->Arm(fault, k, sectors);
    {
      AppendGroup group(cursor, rowsPerCommit);
      for (int i = kBefore; i < kBefore + kGroupRows; ++i) {
        const int pendingBefore = cursor.table()->PendingRows();
        const bool posted = PostRow(cursor, i).ok();
        if (posted && cursor.table()->PendingRows() <= pendingBefore) {
          run.commitWrites.push_back(faults->writes());
          run.committedRows.push_back(pendingBefore + 1);
        }
      }
      const int pending = cursor.table()->PendingRows();
      if (group.Finish().ok() && pending > 0) {
        run.commitWrites.push_back(faults->writes());
        run.committedRows.push_back(pending);
      }
    }
    run.syncs = faults->syncs();
    if (log) *log = faults->log();
    for (std::int32_t n = 0; n < cursor.table()->header().rowCount; ++n) {
      if (cursor.table()->IsLive(n)) run.stored.push_back(cursor.table()->Row(n).substr(4, 12).c_str());
    }
  }
  db.reset();
  return run;
}

// What `selvantrix-tdb check` says of every table, and the table's Tel values
// in row order.
void Reopen(const std::string& path, std::vector<std::string>* problems, std::vector<std::string>* tels) {
  std::shared_ptr<Database> db;
  Status s = Database::Open(path, Fast(), &db);
  ASSERT_TRUE(s.ok()) << s.ToString();
  testing::EachTable(db, problems, [&](const std::string& name, const TableData& table) {
    if (name != "wpisy") return;
    for (std::int32_t n = 0; n < table.header().rowCount; ++n) {
      if (table.IsLive(n)) tels->push_back(table.Row(n).substr(4, 12).c_str());
    }
  });
}

std::vector<std::string> FirstTels(int count) {
  std::vector<std::string> tels;
  for (int i = 0; i < count; ++i) tels.push_back(TelOf(i));
  return tels;
}

class GroupCommitTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    start_ = new std::string(dir_->File("start.tdb"));
    MakeTable(*start_);
  }
  static void TearDownTestSuite() {
    delete start_;
    delete dir_;
  }
  std::string Fresh(const std::string& name) const {
    const std::string path = dir_->File(name);
    WriteAll(path, ReadAll(*start_));
    return path;
  }
  static TempDir* dir_;
  static std::string* start_;
};
TempDir* GroupCommitTest::dir_ = nullptr;
std::string* GroupCommitTest::start_ = nullptr;

// A flush per group and one more at its end, however many rows a group has.
TEST_F(GroupCommitTest, FlushesOncePerGroupAndOnceAtTheEnd) {
  const struct {
    int rowsPerCommit;
    int syncs;
  } cases[] = {{1, kGroupRows + 1}, {kRowsPerCommit, 3 + 1}, {kGroupRows, 1 + 1}, {1024, 1 + 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE("rows per commit " + std::to_string(c.rowsPerCommit));
    const std::string path = Fresh("syncs.tdb");
    const GroupRun run = Group(path, Fault::kNone, 0, c.rowsPerCommit);
    EXPECT_EQ(run.syncs, c.syncs);
    std::vector<std::string> problems, tels;
    Reopen(path, &problems, &tels);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(tels, FirstTels(kBefore + kGroupRows));
  }
}

// A cut at any write of the group: the file holds the groups whose commit
// came before it and nothing of the others, checks ok, and takes new rows.
// A failed write: the file holds what the program holds afterwards.
TEST_F(GroupCommitTest, EveryWriteCutOrFailedLeavesWholeGroups) {
  const GroupRun dry = Group(Fresh("dry.tdb"), Fault::kNone, 0, kRowsPerCommit);
  ASSERT_EQ(dry.commitWrites.size(), 3u);
  const int writes = dry.commitWrites.back();
  for (Fault fault : {Fault::kCut, Fault::kFail}) {
    for (int k = 1; k <= writes; ++k) {
      SCOPED_TRACE(std::string(testing::FaultName(fault)) + " at write " + std::to_string(k) + " of " +
                   std::to_string(writes));
      const std::string path = Fresh("faulty.tdb");
      const GroupRun run = Group(path, fault, k, kRowsPerCommit);
      std::vector<std::string> problems, tels;
      Reopen(path, &problems, &tels);
      EXPECT_TRUE(problems.empty()) << problems.front();
      if (fault == Fault::kCut) {
        int rows = kBefore;
        for (size_t g = 0; g < dry.commitWrites.size(); ++g) {
          if (dry.commitWrites[g] < k) rows += dry.committedRows[g];
        }
        EXPECT_EQ(tels, FirstTels(rows));
      } else {
        EXPECT_EQ(tels, run.stored);
        EXPECT_GE(tels.size(), size_t(kBefore));
      }

      // The next start goes on with the file.
      std::shared_ptr<Database> db;
      ASSERT_TRUE(Database::Open(path, Fast(), &db).ok());
      Cursor cursor(db, "wpisy");
      ASSERT_TRUE(cursor.Open().ok());
      const int before = cursor.RowCount();
      EXPECT_TRUE(PostRow(cursor, kBefore + kGroupRows).ok());
      EXPECT_EQ(cursor.RowCount(), before + 1);
      db.reset();
      problems.clear();
      tels.clear();
      Reopen(path, &problems, &tels);
      EXPECT_TRUE(problems.empty()) << problems.front();
      EXPECT_EQ(int(tels.size()), before + 1);
    }
  }
}

// A group's rows reach the file in a few long writes, and a process killed
// inside one leaves a prefix of it, sector by sector: wherever the prefix
// ends, the file holds the groups committed before and whole chains.
TEST_F(GroupCommitTest, ACutAtAnySectorOfAGroupsLongWritesLeavesWholeGroups) {
  std::vector<std::pair<std::int64_t, std::size_t>> log;
  const GroupRun dry = Group(Fresh("dry.tdb"), Fault::kNone, 0, kRowsPerCommit, 1, &log);
  ASSERT_EQ(dry.commitWrites.size(), 3u);
  int cuts = 0;
  for (size_t w = 0; w < log.size(); ++w) {
    const auto [offset, length] = log[w];
    const std::int64_t boundaries =
        (offset + std::int64_t(length) - 1) / testing::kSectorSize - offset / testing::kSectorSize;
    // Up to 24 places in each write, its ends included.
    const std::int64_t step = std::max<std::int64_t>(1, boundaries / 24);
    for (std::int64_t sectors = 2; sectors <= boundaries; sectors += step) {
      const int k = int(w) + 1;
      SCOPED_TRACE("write " + std::to_string(k) + " of " + std::to_string(length) + " bytes cut after " +
                   std::to_string(sectors) + " sector boundaries");
      const std::string path = Fresh("cut.tdb");
      Group(path, Fault::kCut, k, kRowsPerCommit, int(sectors));
      ++cuts;
      std::vector<std::string> problems, tels;
      Reopen(path, &problems, &tels);
      EXPECT_TRUE(problems.empty()) << problems.front();
      int rows = kBefore;
      for (size_t g = 0; g < dry.commitWrites.size(); ++g) {
        if (dry.commitWrites[g] < k) rows += dry.committedRows[g];
      }
      EXPECT_EQ(tels, FirstTels(rows));
    }
  }
  EXPECT_GT(cuts, 20) << "the groups are written in long writes";
}

// While rows are pending the change lock is held: another writer or reader
// of the table waits and gives up; once the group is committed it gets in.
TEST_F(GroupCommitTest, PendingRowsKeepOtherWritersOutAndStayUnseen) {
  const std::string path = Fresh("shared.tdb");
  Database::Options quick = Fast();
  quick.lockRetryCount = 0;
  std::shared_ptr<Database> mine, other;
  ASSERT_TRUE(Database::Open(path, Fast(), &mine).ok());
  ASSERT_TRUE(Database::Open(path, quick, &other).ok());
  Cursor cursor(mine, "wpisy");
  ASSERT_TRUE(cursor.Open().ok());
  Cursor theirs(other, "wpisy");
  ASSERT_TRUE(theirs.Open().ok());

  AppendGroup group(cursor, 100);
  ASSERT_TRUE(PostRow(cursor, kBefore).ok());
  ASSERT_TRUE(PostRow(cursor, kBefore + 1).ok());
  EXPECT_EQ(cursor.RowCount(), kBefore + 2);
  EXPECT_EQ(PostRow(theirs, kBefore + 2).code(), Status::Code::kBusy);
  std::unique_ptr<TableData> seen;
  EXPECT_EQ(other->LoadTable("wpisy", &seen).code(), Status::Code::kBusy);

  ASSERT_TRUE(group.Finish().ok());
  ASSERT_TRUE(PostRow(theirs, kBefore + 2).ok());
  EXPECT_EQ(theirs.RowCount(), kBefore + 3);
  ASSERT_TRUE(cursor.Refresh().ok());
  EXPECT_EQ(cursor.RowCount(), kBefore + 3);
}

// A change, a delete or a refresh in the middle of a group counts the
// pending rows first; a refused duplicate drops only itself.
TEST_F(GroupCommitTest, OtherWorkInsideAGroupKeepsThePendingRows) {
  const struct {
    const char* what;
    std::function<Status(Cursor&)> work;
    int rowsAfter;
  } cases[] = {
      {"change",
       [](Cursor& c) {
         return c.Edit().ok() && c.SetText("Nazwa", "Zmiana").ok() ? c.Post() : Status::IOError("edit");
       },
       kBefore + 2},
      {"delete", [](Cursor& c) { return c.Delete(); }, kBefore + 1},
      {"refresh", [](Cursor& c) { return c.Refresh(); }, kBefore + 2},
      {"duplicate",
       [](Cursor& c) {
         return PostRow(c, 0).code() == Status::Code::kUniqueViolation ? Status::Ok() : Status::IOError("no refusal");
       },
       kBefore + 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = Fresh("inside.tdb");
    {
      std::shared_ptr<Database> db;
      ASSERT_TRUE(Database::Open(path, Fast(), &db).ok());
      Cursor cursor(db, "wpisy");
      ASSERT_TRUE(cursor.Open().ok());
      AppendGroup group(cursor, 100);
      ASSERT_TRUE(PostRow(cursor, kBefore).ok());
      ASSERT_TRUE(PostRow(cursor, kBefore + 1).ok());
      ASSERT_TRUE(c.work(cursor).ok());
      EXPECT_EQ(cursor.RowCount(), c.rowsAfter);
      // No Finish: the group's end commits what is pending all the same.
    }
    std::vector<std::string> problems, tels;
    Reopen(path, &problems, &tels);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(int(tels.size()), c.rowsAfter);
  }
}

// The rows that replace the table's: every third number is on the old
// list too, so the unique index must weigh the new rows among themselves.
constexpr int kNewRows = 10;
std::vector<std::string> NewTels() {
  std::vector<std::string> tels;
  for (int i = 0; i < kNewRows; ++i) tels.push_back(i % 3 == 0 ? TelOf(i) : std::to_string(700000000 + i));
  return tels;
}

// Every row of the table replaced through a cursor over a faulty file;
// `stored` is what the cursor holds afterwards.
std::vector<std::string> Replace(const std::string& path, Fault fault, int k, int sectors = 1,
                                 std::vector<std::pair<std::int64_t, std::size_t>>* log = nullptr) {
  FaultFile* faults = nullptr;
  std::shared_ptr<Database> db = OpenFaulty(path, &faults);
  Cursor cursor(db, "wpisy");
  EXPECT_TRUE(cursor.Open().ok());
  faults->Arm(fault, k, sectors);
  {
    Replacement replacement(cursor);
    EXPECT_TRUE(replacement.Begin().ok());
    EXPECT_EQ(cursor.RowCount(), 0);
    for (const std::string& tel : NewTels()) {
      EXPECT_TRUE(cursor.Append().ok() && cursor.SetText("Tel", tel).ok() && cursor.Post().ok()) << tel;
    }
    static_cast<void>(replacement.Commit());
  }
  if (log) *log = faults->log();
  std::vector<std::string> stored;
  for (std::int32_t n = 0; n < cursor.table()->header().rowCount; ++n) {
    if (cursor.table()->IsLive(n)) stored.push_back(cursor.table()->Row(n).substr(4, 12).c_str());
  }
  return stored;
}

// A cut anywhere in a replacement's writes (at a sector boundary of its long
// ones too) or a failed write leaves the old rows or the new ones, whole;
// the next change leaves a file that checks ok.
TEST_F(GroupCommitTest, AReplacementCutOrFailedAnywhereLeavesTheOldRowsOrTheNew) {
  std::vector<std::pair<std::int64_t, std::size_t>> log;
  ASSERT_EQ(Replace(Fresh("dry.tdb"), Fault::kNone, 0, 1, &log), NewTels());
  struct Trial {
    Fault fault;
    int k, sectors;
  };
  std::vector<Trial> trials;
  for (int k = 1; k <= int(log.size()); ++k) {
    trials.push_back({Fault::kFail, k, 1});
    const auto [offset, length] = log[size_t(k - 1)];
    const std::int64_t boundaries =
        (offset + std::int64_t(length) - 1) / testing::kSectorSize - offset / testing::kSectorSize;
    for (std::int64_t sectors = 1; sectors <= std::max<std::int64_t>(1, boundaries); sectors += 1 + boundaries / 8) {
      trials.push_back({Fault::kCut, k, int(sectors)});
    }
  }
  const std::vector<std::string> old = FirstTels(kBefore);
  for (const Trial& t : trials) {
    SCOPED_TRACE(std::string(testing::FaultName(t.fault)) + " at write " + std::to_string(t.k) + " of " +
                 std::to_string(log.size()) + ", sector boundary " + std::to_string(t.sectors));
    const std::string path = Fresh("faulty.tdb");
    const std::vector<std::string> stored = Replace(path, t.fault, t.k, t.sectors);
    std::vector<std::string> problems, tels;
    Reopen(path, &problems, &tels);
    EXPECT_TRUE(tels == old || tels == NewTels()) << tels.size() << " rows";
    if (t.fault == Fault::kFail) {
      EXPECT_EQ(tels, stored);
    }

    std::shared_ptr<Database> db;
    ASSERT_TRUE(Database::Open(path, Fast(), &db).ok());
    Cursor cursor(db, "wpisy");
    ASSERT_TRUE(cursor.Open().ok());
    EXPECT_TRUE(PostRow(cursor, kBefore + kGroupRows).ok());
    db.reset();
    problems.clear();
    tels.clear();
    Reopen(path, &problems, &tels);
    EXPECT_TRUE(problems.empty()) << problems.front();
  }
}

}  // namespace
}  // namespace store
