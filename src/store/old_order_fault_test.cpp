// Chains an earlier build wrote in another order, under every write failed
// or cut: the file reopens whole, and the next write leaves nothing to mend.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/collation.h"
#include "store/cursor.h"
#include "store/database.h"
#include "store/format.h"
#include "store/table.h"
#include "store/testing/fault_checks.h"
#include "store/testing/fault_file.h"
#include "store/testing/files.h"
#include "store/testing/script_model.h"
#include "store/testing/temp_dir.h"
#include "store/testing/whole_text_order.h"

namespace store {
namespace {

using testing::AppendOp;
using testing::ChangeOp;
using testing::CheckReopened;
using testing::Cp;
using testing::CreateIndexOp;
using testing::CreateTableOp;
using testing::DbState;
using testing::DeleteOp;
using testing::Difference;
using testing::Fault;
using testing::FaultFile;
using testing::FileSize;
using testing::Op;
using testing::Outcome;
using testing::PadTo;
using testing::ReaderOptions;
using testing::ReadState;
using testing::RunScript;
using testing::SameContent;
using testing::ScriptOptions;
using testing::UpsertOp;

// ---------------------------------------------------------------------------
// Chains an earlier build wrote in the order that weighed the hyphen and the
// apostrophe as punctuation: a load mends them in memory, and the first write
// to their table writes them whole. Each write below, on a table whose chains
// are out of order, is failed or cut at each of its writes in turn; the file
// must then open with the rows of before or after it, every order sound, and
// once a write to each table completes, nothing is left for a load to mend.

// `nazwy` stands where the offset of its index tab lies across a sector
// boundary, two bytes before it, and its tab below 64 KiB while the file
// ends above: a settled tab must be placed so that the switch to it changes
// one sector only. Its rows fill two chunks, so that an offset torn between
// the old and the new one would leave a tab too short for them.
constexpr std::int64_t kTabOffsetBytesBeforeBoundary = 2;
constexpr int kNazwyRows = 1030;

const char* const kOldSurnames[] = {"Abc",   "Aba",         "Ab-c",   "Ab c",  "Nowaka",
                                    "Nowak", "Nowak-Zając", "O'Neil", "Oneil", "Onea"};
const char* const kOldNames[] = {"Anna-Maria", "Anna", "Annabel", "Jean-Luc", "Jeanette",
                                 "Jean",       "Ola",  "O'la",    "Olaf",     "Ola-Ola"};
const char* const kOldWords[] = {"co-op", "coop", "coo-p", "co'op", "cooper", "co-opt", "Nowa-Kowalska", "Nowaka"};

std::vector<Op> OneWriteEach() {
  return {
      AppendOp("telefony", {{"ID", "50"}, {"Imie", "Jean-Paul"}, {"Nazwisko", Cp("Nowak-Bąk")}, {"Tel", "700"}}),
      ChangeOp("telefony", "Tel", "605", {{"Nazwisko", "Ab-a"}, {"Imie", "Anna'"}}),
      DeleteOp("telefony", "Tel", "607"),
      AppendOp("nazwy", {{"Nazwa", "co-o"}}),
      ChangeOp("nazwy", "Nazwa", "coop", {{"Nazwa", "coo'p"}}),
      DeleteOp("nazwy", "Nazwa", "co'op"),
  };
}

std::vector<Op> OneAppendEach() {
  return {AppendOp("telefony", {{"ID", "60"}, {"Imie", "Po"}, {"Nazwisko", "Awarii"}, {"Tel", "800"}}),
          AppendOp("nazwy", {{"Nazwa", "po-awarii"}})};
}

struct OldOrderFixture {
  testing::TempDir dir;
  std::string pristine;
  std::string error;
  DbState start;
  std::int64_t nazwyOffsetAt = 0;  // where nazwy's index-tab offset lies
  std::int64_t nazwyTab = 0;
};

void BuildOldOrder(OldOrderFixture* fx) {
  auto fail = [&](const std::string& what, const Status& s) { fx->error = what + ": " + s.ToString(); };
  fx->pristine = fx->dir.File("old-order.tdb");
  Status s = testing::CreatePhoneDatabase(fx->pristine);
  if (!s.ok()) return fail("schema", s);
  const auto old = std::make_shared<testing::WholeTextOrder>();
  if (!old->ok()) return fail("the old order", Status::InvalidArgument("no collator"));
  Database::Options options = ReaderOptions();
  options.collation = old;
  std::shared_ptr<Database> db;
  s = Database::Open(fx->pristine, options, &db);
  if (!s.ok()) return fail("open", s);

  // nazwy's header goes where its first index definition puts the tab
  // offset across a boundary.
  const std::int64_t offsetIn = TableHeader::IndexDefinitionAt(0) + TableHeader::kIndexTabAt;
  constexpr std::int64_t kSector = testing::kSectorSize;
  const std::int64_t residue = ((kSector - kTabOffsetBytesBeforeBoundary - offsetIn) % kSector + kSector) % kSector;
  s = PadTo(db, fx->pristine, "odstep", residue);
  if (!s.ok()) return fail("odstep", s);
  const std::int64_t nazwyHeader = FileSize(fx->pristine);
  s = db->CreateTable("nazwy", {FieldSpec{"Nazwa", FieldType::kText, 30}});
  if (s.ok()) s = db->CreateIndex("nazwy", "NazwaIndex", 0, {"Nazwa"});
  if (!s.ok()) return fail("nazwy", s);
  {
    Cursor c(db, "nazwy");
    s = c.Open();
    for (int i = 0; s.ok() && i < kNazwyRows; ++i) {
      const std::string filler = "wiersz" + std::to_string(10000 + i);
      s = c.Append();
      if (s.ok()) s = c.SetText("Nazwa", size_t(i) < std::size(kOldWords) ? Cp(kOldWords[i]) : filler);
      if (s.ok()) s = c.Post();
    }
    if (!s.ok()) return fail("nazwy rows", s);
    fx->nazwyTab = c.table()->header().indexes[0].tabOffset;
    if (c.table()->headerOffset() != nazwyHeader) return fail("nazwy", Status::InvalidArgument("header moved"));
  }
  fx->nazwyOffsetAt = nazwyHeader + offsetIn;
  {
    Cursor c(db, "telefony");
    s = c.Open();
    for (size_t i = 0; s.ok() && i < std::size(kOldSurnames); ++i) {
      s = c.Append();
      if (s.ok()) s = c.SetText("ID", std::to_string(i + 1));
      if (s.ok()) s = c.SetText("Imie", Cp(kOldNames[i]));
      if (s.ok()) s = c.SetText("Nazwisko", Cp(kOldSurnames[i]));
      if (s.ok()) s = c.SetText("Tel", std::to_string(600 + i));
      if (s.ok()) s = c.Post();
    }
    if (!s.ok()) return fail("telefony rows", s);
  }
  db.reset();
  s = Database::Open(fx->pristine, ReaderOptions(), &db);
  std::vector<std::string> problems;
  if (s.ok()) s = ReadState(db, &fx->start, &problems);
  if (!s.ok()) return fail("reading the start", s);
  if (!problems.empty()) return fail("start", Status::Corruption(problems.front()));
}

const OldOrderFixture& TheOldOrderFixture() {
  static OldOrderFixture fixture;
  static const bool built = (BuildOldOrder(&fixture), true);
  (void)built;
  return fixture;
}

// What a load of each table has to mend.
std::vector<std::string> Mended(const std::string& path) {
  std::vector<std::string> mended;
  std::shared_ptr<Database> db;
  Status s = Database::Open(path, ReaderOptions(), &db);
  std::vector<std::string> names;
  if (s.ok()) s = db->TableNames(&names);
  if (!s.ok()) return {"the file does not open: " + s.ToString()};
  for (const std::string& name : names) {
    std::unique_ptr<TableData> t;
    s = db->LoadTable(name, &t);
    if (!s.ok()) return {"table '" + name + "' does not load: " + s.ToString()};
    mended.insert(mended.end(), t->repairs.begin(), t->repairs.end());
  }
  return mended;
}

// One write, whole: its table's chains are in order in the file afterwards,
// the other table's still wait for a write of their own.
TEST(OldOrderChainTest, EachWriteSettlesTheChainsOfItsTable) {
  const OldOrderFixture& fx = TheOldOrderFixture();
  ASSERT_TRUE(fx.error.empty()) << fx.error;
  const std::string mendedPhones = "index 'NazwiskoIndex' of table 'telefony': ";
  const std::string mendedNames = "index 'ImieIndex' of table 'telefony': ";
  const std::string mendedWords = "index 'NazwaIndex' of table 'nazwy': ";
  auto starting = [](const std::vector<std::string>& lines, const std::string& start) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
  };
  const std::vector<std::string> before = Mended(fx.pristine);
  ASSERT_EQ(before.size(), 3u) << "the fixture leaves three chains to mend";
  EXPECT_EQ(starting(before, mendedPhones) + starting(before, mendedNames) + starting(before, mendedWords), 3);
  // The offset straddles as meant, and the file has grown past what its
  // low bytes can tell.
  EXPECT_EQ(testing::CutLength(fx.nazwyOffsetAt, 4), size_t(kTabOffsetBytesBeforeBoundary));
  EXPECT_NE(fx.nazwyTab >> 16, FileSize(fx.pristine) >> 16);

  for (const Op& op : OneWriteEach()) {
    SCOPED_TRACE(op.Describe());
    const std::string work = fx.dir.File("whole.tdb");
    std::filesystem::copy_file(fx.pristine, work, std::filesystem::copy_options::overwrite_existing);
    Outcome outcome;
    {
      std::shared_ptr<Database> db;
      ASSERT_TRUE(Database::Open(work, ScriptOptions(), &db).ok());
      outcome = RunScript(db, {op}, fx.start);
    }
    ASSERT_EQ(outcome.completed, 1u) << outcome.failure.ToString();
    const std::vector<std::string> after = Mended(work);
    const bool phones = op.table == "telefony";
    EXPECT_EQ(starting(after, mendedPhones), phones ? 0 : 1);
    EXPECT_EQ(starting(after, mendedNames), phones ? 0 : 1);
    EXPECT_EQ(starting(after, mendedWords), phones ? 1 : 0);
    EXPECT_EQ(after.size(), phones ? 1u : 2u);
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Database::Open(work, ReaderOptions(), &db).ok());
    DbState found;
    std::vector<std::string> problems;
    ASSERT_TRUE(ReadState(db, &found, &problems).ok());
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_TRUE(SameContent(found, outcome.after)) << Difference(found, outcome.after);
  }
}

class OldOrderEveryWriteTest : public ::testing::TestWithParam<Fault> {};

TEST_P(OldOrderEveryWriteTest, FileHoldsTheRowsAndTheNextWriteLeavesNothingToMend) {
  const OldOrderFixture& fx = TheOldOrderFixture();
  ASSERT_TRUE(fx.error.empty()) << fx.error;
  const Fault fault = GetParam();
  const std::string work = fx.dir.File(std::string("old-order-run-") + testing::FaultName(fault) + ".tdb");
  int failed = 0;
  int runs = 0;
  constexpr int kShown = 12;
  for (const Op& op : OneWriteEach()) {
    // The writes of this one operation on the starting file.
    int writes = 0;
    {
      std::filesystem::copy_file(fx.pristine, work, std::filesystem::copy_options::overwrite_existing);
      std::unique_ptr<FaultFile> file;
      ASSERT_TRUE(FaultFile::Open(work, {}, &file).ok());
      file->Arm(Fault::kNone);
      FaultFile* counter = file.get();
      std::shared_ptr<Database> db;
      ASSERT_TRUE(Database::OpenOn(std::move(file), ScriptOptions(), &db).ok());
      ASSERT_EQ(RunScript(db, {op}, fx.start).completed, 1u) << op.Describe();
      writes = counter->writes();
    }
    for (int k = 1; k <= writes; ++k) {
      ++runs;
      std::filesystem::copy_file(fx.pristine, work, std::filesystem::copy_options::overwrite_existing);
      Outcome outcome;
      bool fired = false;
      {
        std::unique_ptr<FaultFile> file;
        ASSERT_TRUE(FaultFile::Open(work, {}, &file).ok());
        file->Arm(fault, k);
        FaultFile* probe = file.get();
        std::shared_ptr<Database> db;
        ASSERT_TRUE(Database::OpenOn(std::move(file), ScriptOptions(), &db).ok());
        outcome = RunScript(db, {op}, fx.start);
        fired = probe->fired();
      }
      std::vector<std::string> problems;
      if (!fired) problems.push_back("write " + std::to_string(k) + " never came");
      DbState matched;
      if (problems.empty()) CheckReopened(work, outcome, &matched, &problems);
      // Then one append to each table, and nothing is left to mend.
      if (problems.empty()) {
        Outcome more;
        {
          std::shared_ptr<Database> db;
          Status s = Database::Open(work, ReaderOptions(), &db);
          if (!s.ok()) {
            problems.push_back("continuing: the file does not open: " + s.ToString());
          } else {
            more = RunScript(db, OneAppendEach(), matched);
            if (more.completed != 2) problems.push_back("continuing: " + more.failure.ToString());
          }
        }
        if (problems.empty()) {
          for (const std::string& m : Mended(work)) problems.push_back("left to mend: " + m);
          std::shared_ptr<Database> db;
          DbState found;
          std::vector<std::string> later;
          Status s = Database::Open(work, ReaderOptions(), &db);
          if (s.ok()) s = ReadState(db, &found, &later);
          if (!s.ok()) problems.push_back("continuing: " + s.ToString());
          for (const std::string& p : later) problems.push_back("continuing: " + p);
          if (s.ok() && !SameContent(found, more.after)) {
            problems.push_back("continuing:" + Difference(found, more.after));
          }
        }
      }
      if (problems.empty()) continue;
      if (++failed > kShown) continue;
      std::string text;
      for (const std::string& p : problems) text += "\n  " + p;
      ADD_FAILURE() << testing::FaultName(fault) << " at write " << k << " of " << writes << " of '" << op.Describe()
                    << "' (" << outcome.failure.ToString() << "):" << text;
    }
  }
  EXPECT_GT(runs, 0);
  EXPECT_EQ(failed, 0) << "runs with problems, of " << runs << " (the first " << kShown << " are shown)";
}

INSTANTIATE_TEST_SUITE_P(Faults, OldOrderEveryWriteTest, ::testing::Values(Fault::kFail, Fault::kCut),
                         [](const ::testing::TestParamInfo<Fault>& test) {
                           return test.param == Fault::kFail ? std::string("Fail") : std::string("Cut");
                         });

}  // namespace
}  // namespace store
