// Every write of a scripted session on the configurator's database is failed,
// and in another run cut at a sector boundary; the file is then reopened from
// disk and must hold the rows of the operations that finished, plus at most
// the whole of the one that was interrupted, with every index order sound.

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
// The starting file, the script and its write count, made once.
//
// Two writes the store relies on landing whole are put across a sector
// boundary on purpose, by padding tables whose one row is as long as it takes
// to move what follows to the right offset:
// the 12-byte commit in the header of `notatki` (8 bytes before the
// boundary: record tab and row count, not the last auto-increment value), and
// the record item of phone row 6 (1 byte of its 4-byte row offset before the
// boundary), which a change switches.

constexpr int kLiczbyBulk = 1022;
constexpr std::int32_t kTornPhoneRow = 6;
constexpr std::int64_t kCommitBytesBeforeBoundary = 8;

std::string LiczbaFor(int i) { return std::to_string((i * 389) % 1031); }

struct Phone {
  const char* id;
  const char* imie;
  const char* nazwisko;
  const char* tel;
};

// In append order: row number i is kPhones[i]. Names with Polish letters
// check the orders against the Polish collation.
const Phone kPhones[] = {
    {"1", "Jan", "Kowalski", "600100001"},        {"2", "Anna", "Nowak", "600100050"},
    {"3", "Łukasz", "Żak", "600100020"},          {"4", "Zofia", "Ćwik", "600100090"},
    {"5", "Ewa", "Ślęzak", "600100010"},          {"6", "Piotr", "Adamski", "600100070"},
    {"7", "Ścibor", "Łęcki", "600100040"},        {"8", "Celina", "Zieliński", "600100030"},
    {"9", "Adam", "Cichy", "600100080"},          {"10", "Żaneta", "Ostrowska", "600100060"},
    {"11", "Bożena", "Kowalska", "600100015"},    {"12", "Olgierd", "Świątek", "600100025"},
    {"13", "Ignacy", "Dąbrowski", "600100095"},   {"14", "Halina", "Lis", "600100005"},
    {"15", "Roman", "Nowak", "600100055"},        {"16", "Łucja", "Wróbel", "600100045"},
    {"17", "Kamil", "Źródło", "600100035"},       {"18", "Dorota", "Bąk", "600100065"},
    {"19", "Grzegorz", "Ulanowski", "600100075"}, {"20", "Ewa", "Mazur", "600100085"},
    {"21", "Ćwirek", "Ćwik", "600100011"},
};
constexpr int kPhoneCount = int(sizeof kPhones / sizeof kPhones[0]);

std::string Refused(const std::string& tel) { return "Invalid unique field value '" + tel + "'"; }

std::vector<Op> BuildScript() {
  std::vector<Op> ops;
  // A duplicate phone number is refused after rows 5, 11 and 17.
  const std::map<int, std::string> duplicateAfter = {{5, "600100020"}, {11, "600100070"}, {17, "600100001"}};
  for (int i = 0; i < kPhoneCount; ++i) {
    const Phone& p = kPhones[i];
    ops.push_back(AppendOp("telefony", {{"ID", p.id},
                                        {"Imie", Cp(p.imie)},
                                        {"Nazwisko", Cp(p.nazwisko)},
                                        {"Tel", p.tel},
                                        {"ST", std::to_string(i % 3)}}));
    if (duplicateAfter.count(i)) {
      const std::string& tel = duplicateAfter.at(i);
      ops.push_back(
          AppendOp("telefony", {{"ID", "99"}, {"Imie", "Adam"}, {"Nazwisko", "Duplikat"}, {"Tel", tel}}, Refused(tel)));
    }
  }
  // Changes that move rows in the orders: the torn row first.
  ops.push_back(
      ChangeOp("telefony", "Tel", kPhones[kTornPhoneRow].tel, {{"Nazwisko", "Abacki"}, {"Tel", "600100099"}}));
  ops.push_back(ChangeOp("telefony", "Tel", "600100001", {{"Nazwisko", Cp("Żyła")}, {"Tel", "600100002"}}));
  ops.push_back(ChangeOp("telefony", "Tel", "600100060", {{"Imie", "Aleksandra"}}));
  ops.push_back(ChangeOp("telefony", "Tel", "600100090", {{"Tel", "600100050"}}, Refused("600100050")));
  ops.push_back(ChangeOp("telefony", "Tel", "600100055", {{"Nazwisko", "Kowalski"}, {"ST", "7"}}));
  ops.push_back(DeleteOp("telefony", "Tel", "600100050"));
  ops.push_back(DeleteOp("telefony", "Tel", "600100005"));
  ops.push_back(DeleteOp("telefony", "Tel", "600100011"));
  // A deleted row's number is free again.
  ops.push_back(AppendOp("telefony", {{"ID", "22"}, {"Imie", "Anna"}, {"Nazwisko", "Nowak"}, {"Tel", "600100050"}}));

  // Rows 1022 to 1026: row 1024 starts second record-tab and index-tab chunks.
  for (int i = kLiczbyBulk; i < kLiczbyBulk + 5; ++i) ops.push_back(AppendOp("liczby", {{"N", LiczbaFor(i)}}));

  ops.push_back(UpsertOp("port", "COM1"));
  ops.push_back(UpsertOp("pin", "1234"));
  ops.push_back(UpsertOp("port", "/dev/ttyUSB0"));
  ops.push_back(UpsertOp("jezyk", "pl"));

  ops.push_back(AppendOp("notatki", {{"Tresc", "pierwsza"}}));
  ops.push_back(AppendOp("notatki", {{"Tresc", "druga"}}));
  ops.push_back(ChangeOp("notatki", "Tresc", "druga", {{"Tresc", "zmieniona"}}));
  ops.push_back(AppendOp("notatki", {{"Tresc", "trzecia"}}));

  ops.push_back(AppendOp("raporty", {{"Tel", "600100020"}, {"Data", "2024-05-01 12:00"}}));
  ops.push_back(AppendOp("raporty", {{"Tel", "600100040"}, {"Data", "2024-05-01 12:05"}}));

  ops.push_back(
      CreateTableOp("zdarzenia", {FieldSpec{"Kod", FieldType::kInt32, 0}, FieldSpec{"Opis", FieldType::kText, 20}}));
  ops.push_back(CreateIndexOp("zdarzenia", "OpisIndex", kIndexCaseInsensitive, {"Opis"}));
  ops.push_back(AppendOp("zdarzenia", {{"Kod", "1"}, {"Opis", "Brama"}}));
  ops.push_back(AppendOp("zdarzenia", {{"Kod", "2"}, {"Opis", "alarm"}}));
  return ops;
}

// What a user does next with a database that survived a fault.
std::vector<Op> Continuation(const DbState& state) {
  std::vector<Op> ops;
  ops.push_back(AppendOp("telefony", {{"ID", "100"}, {"Imie", "Po"}, {"Nazwisko", "Awarii"}, {"Tel", "600200001"}}));
  ops.push_back(ChangeOp("telefony", "Tel", "600200001", {{"Nazwisko", "Aaronowicz"}, {"Tel", "600100000"}}));
  ops.push_back(AppendOp("liczby", {{"N", "5000"}}));
  ops.push_back(AppendOp("liczby", {{"N", "0"}}));
  ops.push_back(AppendOp("notatki", {{"Tresc", "po awarii"}}));
  ops.push_back(UpsertOp("po_awarii", "tak"));
  if (state.count("zdarzenia")) ops.push_back(AppendOp("zdarzenia", {{"Kod", "9"}, {"Opis", "restart"}}));
  return ops;
}

struct Fixture {
  testing::TempDir dir;
  std::string pristine;
  std::string clean;  // the script run without faults
  std::string error;  // why the fixture could not be made
  DbState start;
  std::vector<Op> script;
  Outcome cleanOutcome;
  int writes = 0;
  int syncs = 0;
  std::int64_t notatkiHeader = 0;
  std::int64_t phoneChunk = 0;
};

void Build(Fixture* fx) {
  auto fail = [&](const std::string& what, const Status& s) {
    fx->error = what + ": " + s.ToString();
    return false;
  };
  auto make = [&]() -> bool {
    fx->pristine = fx->dir.File("pristine.tdb");
    Status s = testing::CreatePhoneDatabase(fx->pristine);
    if (!s.ok()) return fail("schema", s);
    std::shared_ptr<Database> db;
    s = Database::Open(fx->pristine, ReaderOptions(), &db);
    if (!s.ok()) return fail("open", s);

    s = db->CreateTable("liczby", {FieldSpec{"N", FieldType::kInt32, 0}});
    if (s.ok()) s = db->CreateIndex("liczby", "NIndex", 0, {"N"});
    if (!s.ok()) return fail("liczby", s);
    {
      Cursor c(db, "liczby");
      s = c.Open();
      for (int i = 0; s.ok() && i < kLiczbyBulk; ++i) {
        s = c.Append();
        if (s.ok()) s = c.SetText("N", LiczbaFor(i));
        if (s.ok()) s = c.Post();
      }
      if (!s.ok()) return fail("liczby rows", s);
    }

    // notatki's header goes where its commit straddles a boundary.
    const std::int64_t headerResidue =
        (testing::kSectorSize - kCommitBytesBeforeBoundary - TableHeader::kRecordTabAt) % testing::kSectorSize;
    s = PadTo(db, fx->pristine, "odstep1", headerResidue);
    if (!s.ok()) return fail("odstep1", s);
    fx->notatkiHeader = FileSize(fx->pristine);
    s = db->CreateTable("notatki", {FieldSpec{"Id", FieldType::kAutoInc, 0}, FieldSpec{"Tresc", FieldType::kText, 30}});
    if (!s.ok()) return fail("notatki", s);

    // The script's first phone puts the record tab at the end of the file:
    // there row 6's item must begin one byte before a boundary.
    const std::int64_t chunkResidue =
        ((testing::kSectorSize - 1 - RecordItemOffset(0, kTornPhoneRow)) % testing::kSectorSize +
         testing::kSectorSize) %
        testing::kSectorSize;
    s = PadTo(db, fx->pristine, "odstep2", chunkResidue);
    if (!s.ok()) return fail("odstep2", s);
    fx->phoneChunk = FileSize(fx->pristine);

    std::vector<std::string> problems;
    s = ReadState(db, &fx->start, &problems);
    if (!s.ok()) return fail("reading the start", s);
    if (!problems.empty()) return fail("start", Status::Corruption(problems.front()));
    db.reset();

    // The script once without faults: its write count, and its result.
    fx->script = BuildScript();
    fx->clean = fx->dir.File("clean.tdb");
    std::filesystem::copy_file(fx->pristine, fx->clean);
    std::unique_ptr<FaultFile> file;
    s = FaultFile::Open(fx->clean, {}, &file);
    if (!s.ok()) return fail("fault file", s);
    FaultFile* counter = file.get();
    counter->Arm(Fault::kNone);
    s = Database::OpenOn(std::move(file), ScriptOptions(), &db);
    if (!s.ok()) return fail("open over the fault file", s);
    fx->cleanOutcome = RunScript(db, fx->script, fx->start);
    fx->writes = counter->writes();
    fx->syncs = counter->syncs();
    return true;
  };
  make();
}

// Made on first use and removed with its directory at exit.
const Fixture& TheFixture() {
  static Fixture fixture;
  static const bool built = (Build(&fixture), true);
  (void)built;
  return fixture;
}

// ---------------------------------------------------------------------------

// The script without faults ends where the model does, and the two writes it
// must survive being torn really lie across sector boundaries.
TEST(FaultInjectionTest, ScriptWithoutFaultsGivesTheModelsState) {
  const Fixture& fx = TheFixture();
  ASSERT_TRUE(fx.error.empty()) << fx.error;
  ASSERT_EQ(fx.cleanOutcome.completed, fx.script.size())
      << fx.script[fx.cleanOutcome.completed].Describe() << ": " << fx.cleanOutcome.failure.ToString();
  EXPECT_GT(fx.syncs, 0) << "a barrier before each commit";

  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::Open(fx.clean, ReaderOptions(), &db).ok());
  DbState found;
  std::vector<std::string> problems;
  const Status s = ReadState(db, &found, &problems);
  ASSERT_TRUE(s.ok()) << s.ToString();
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_TRUE(SameContent(found, fx.cleanOutcome.after)) << Difference(found, fx.cleanOutcome.after);
  EXPECT_EQ(found.at("liczby").rows.size(), size_t(kLiczbyBulk + 5));

  std::unique_ptr<TableData> notatki, phones;
  ASSERT_TRUE(db->LoadTable("notatki", &notatki).ok());
  ASSERT_TRUE(db->LoadTable("telefony", &phones).ok());
  // The file's end put the header's commit across a sector boundary; the
  // store moves the header past it, so the commit is one sector's write.
  EXPECT_GT(notatki->headerOffset(), fx.notatkiHeader);
  const std::int64_t commit = notatki->headerOffset() + TableHeader::kRecordTabAt;
  EXPECT_EQ(testing::CutLength(commit, 12), 0u);
  EXPECT_EQ(testing::CutLength(fx.notatkiHeader + TableHeader::kRecordTabAt, 12), size_t(kCommitBytesBeforeBoundary));
  EXPECT_EQ(phones->header().recordTab, fx.phoneChunk);
  EXPECT_EQ(testing::CutLength(RecordItemOffset(fx.phoneChunk, kTornPhoneRow), 4), 1u);
}

// Goes on using the file after the fault and checks it all again.
void CheckContinuing(const std::string& path, const DbState& matched, std::vector<std::string>* problems) {
  const std::vector<Op> more = Continuation(matched);
  Outcome outcome;
  {
    std::shared_ptr<Database> db;
    Status s = Database::Open(path, ReaderOptions(), &db);
    if (!s.ok()) {
      problems->push_back("continuing: the file does not open: " + s.ToString());
      return;
    }
    outcome = RunScript(db, more, matched);
  }
  if (outcome.completed != more.size()) {
    problems->push_back("continuing: " + more[outcome.completed].Describe() + ": " + outcome.failure.ToString());
    return;
  }
  std::shared_ptr<Database> db;
  Status s = Database::Open(path, ReaderOptions(), &db);
  DbState found;
  std::vector<std::string> later;
  if (s.ok()) s = ReadState(db, &found, &later);
  if (!s.ok()) {
    problems->push_back("continuing: " + s.ToString());
    return;
  }
  for (const std::string& p : later) problems->push_back("continuing: " + p);
  if (!SameContent(found, outcome.after)) problems->push_back("continuing:" + Difference(found, outcome.after));
}

class EveryWriteTest : public ::testing::TestWithParam<Fault> {};

// For each write k of the script: the same script over a copy of the
// starting file, with write k failed or cut, then the checks above.
TEST_P(EveryWriteTest, FileHoldsCompletedOperationsAndWorksOn) {
  const Fixture& fx = TheFixture();
  ASSERT_TRUE(fx.error.empty()) << fx.error;
  ASSERT_EQ(fx.cleanOutcome.completed, fx.script.size());
  ASSERT_GT(fx.writes, 0);
  const Fault fault = GetParam();
  const std::string work = fx.dir.File(std::string("run-") + testing::FaultName(fault) + ".tdb");
  int failed = 0;
  constexpr int kShown = 12;
  for (int k = 1; k <= fx.writes; ++k) {
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
      outcome = RunScript(db, fx.script, fx.start);
      fired = probe->fired();
    }
    std::vector<std::string> problems;
    if (!fired) problems.push_back("write " + std::to_string(k) + " never came");
    if (outcome.completed == fx.script.size()) problems.push_back("every operation reported success");
    DbState matched;
    if (problems.empty()) CheckReopened(work, outcome, &matched, &problems);
    if (problems.empty()) CheckContinuing(work, matched, &problems);
    if (problems.empty()) continue;
    if (++failed > kShown) continue;
    std::string text;
    for (const std::string& p : problems) text += "\n  " + p;
    const std::string during =
        outcome.completed < fx.script.size() ? fx.script[outcome.completed].Describe() : std::string("(none)");
    ADD_FAILURE() << testing::FaultName(fault) << " at write " << k << " of " << fx.writes << ", during operation #"
                  << outcome.completed << " '" << during << "' (" << outcome.failure.ToString() << "):" << text;
  }
  EXPECT_EQ(failed, 0) << "runs with problems, of " << fx.writes << " (the first " << kShown << " are shown)";
}

INSTANTIATE_TEST_SUITE_P(Faults, EveryWriteTest, ::testing::Values(Fault::kFail, Fault::kCut),
                         [](const ::testing::TestParamInfo<Fault>& test) {
                           return test.param == Fault::kFail ? std::string("Fail") : std::string("Cut");
                         });

}  // namespace
}  // namespace store
