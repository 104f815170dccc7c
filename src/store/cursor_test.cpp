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

// The configurator's database with a Polish collation pinned, so order and
// finds do not depend on the machine's locale.
class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("selvantrixx.tdb");
    ASSERT_TRUE(testing::CreatePhoneDatabase(path_).ok());
    Reopen();
  }

  void Reopen() {
    phones_.reset();
    Database::Options options;
    options.collation = MakeLocaleCollation("pl_PL");
    options.sync = SyncMode::kNone;
    db_.reset();
    ASSERT_TRUE(Database::Open(path_, options, &db_).ok());
    phones_ = std::make_unique<Cursor>(db_, "telefony");
    ASSERT_TRUE(phones_->Open().ok());
  }

  // UTF-8 in the test, Windows-1250 in the file.
  Status AddPhone(const std::string& first, const std::string& last, const std::string& tel) {
    Status s = phones_->Append();
    if (s.ok()) s = phones_->SetText("Imie", Utf8ToWindows1250(first));
    if (s.ok()) s = phones_->SetText("Nazwisko", Utf8ToWindows1250(last));
    if (s.ok()) s = phones_->SetText("Tel", Utf8ToWindows1250(tel));
    if (s.ok()) s = phones_->Post();
    if (!s.ok()) phones_->Cancel();
    return s;
  }

  std::vector<std::string> Column(Cursor& c, const char* field) {
    std::vector<std::string> values;
    for (c.First(); !c.Eof(); c.Next()) values.push_back(Windows1250ToUtf8(c.Text(field)));
    return values;
  }

  testing::TempDir dir_;
  std::string path_;
  std::shared_ptr<Database> db_;
  std::unique_ptr<Cursor> phones_;
};

TEST_F(CursorTest, EmptyTableIsAtItsEnd) {
  EXPECT_EQ(phones_->RowCount(), 0);
  EXPECT_TRUE(phones_->Eof());
  EXPECT_EQ(phones_->Position(), 0);
  EXPECT_EQ(phones_->Text("Tel"), "");
  EXPECT_EQ(phones_->Int("ID"), 0);
}

TEST_F(CursorTest, NewRowHookRunsOnAppendAndDoesNotCountAsTyping) {
  phones_->onNewRow = [](Cursor& c) { EXPECT_TRUE(c.SetInt("ID", c.RowCount() + 2).ok()); };
  std::vector<Cursor::State> states;
  phones_->onStateChange = [&](Cursor::State s) { states.push_back(s); };
  ASSERT_TRUE(phones_->Append().ok());
  EXPECT_EQ(phones_->Int("ID"), 2);
  EXPECT_EQ(phones_->Int("ST"), 0);
  // Settling a row only the hook wrote drops it.
  bool found = false;
  ASSERT_TRUE(phones_->Find("Tel", {"1"}, {}, &found).ok());
  EXPECT_EQ(phones_->RowCount(), 0);
  EXPECT_EQ(states, (std::vector<Cursor::State>{Cursor::State::kInsert, Cursor::State::kBrowse}));

  // A row the user typed into is posted by the same settling.
  ASSERT_TRUE(phones_->Append().ok());
  EXPECT_TRUE(phones_->SetText("Tel", "600100200").ok());
  ASSERT_TRUE(phones_->Find("Tel", {"600100200"}, {}, &found).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(phones_->RowCount(), 1);
  EXPECT_EQ(phones_->Int("ID"), 2);
}

TEST_F(CursorTest, EditOnAnEmptyTableStartsANewRow) {
  ASSERT_TRUE(phones_->Edit().ok());
  EXPECT_EQ(phones_->state(), Cursor::State::kInsert);
  EXPECT_TRUE(phones_->SetText("Tel", "1").ok());
  ASSERT_TRUE(phones_->Post().ok());
  ASSERT_TRUE(phones_->Edit().ok());
  EXPECT_EQ(phones_->state(), Cursor::State::kEdit);
  EXPECT_TRUE(phones_->SetText("Tel", "2").ok());
  phones_->Cancel();
  EXPECT_EQ(phones_->Text("Tel"), "1");
  EXPECT_EQ(phones_->SetText("Tel", "3").message(), "Dataset not in edit or insert mode");
}

TEST_F(CursorTest, TextsAreCutToTheFieldAndTheCutValueIsWhatTheUniqueIndexSees) {
  ASSERT_TRUE(AddPhone("Anna", "Nowak", "1234567890123").ok());
  EXPECT_EQ(phones_->Text("Tel"), "123456789012");
  EXPECT_EQ(AddPhone("Ewa", "Lis", "1234567890129").message(), "Invalid unique field value '123456789012'");
  ASSERT_TRUE(AddPhone("Jan", std::string(50, 'x'), "5").ok());
  EXPECT_EQ(phones_->Text("Nazwisko"), std::string(40, 'x'));
}

TEST_F(CursorTest, UniqueCheckOnAppendAndChangeIncludingTheEmptyValue) {
  ASSERT_TRUE(AddPhone("A", "A", "").ok());
  EXPECT_EQ(AddPhone("B", "B", "").message(), "Invalid unique field value ''");
  ASSERT_TRUE(AddPhone("C", "C", "600").ok());
  // The refused row stays pending, so the caller can decide.
  ASSERT_TRUE(phones_->Append().ok());
  EXPECT_TRUE(phones_->SetText("Tel", "600").ok());
  EXPECT_EQ(phones_->Post().code(), Status::Code::kUniqueViolation);
  EXPECT_EQ(phones_->state(), Cursor::State::kInsert);
  phones_->Cancel();

  bool found = false;
  ASSERT_TRUE(phones_->Find("Tel", {"600"}, {}, &found).ok());
  ASSERT_TRUE(found);
  ASSERT_TRUE(phones_->Edit().ok());
  EXPECT_TRUE(phones_->SetText("Imie", "Changed").ok());  // its own key may stay
  EXPECT_TRUE(phones_->Post().ok());
  ASSERT_TRUE(phones_->Edit().ok());
  EXPECT_TRUE(phones_->SetText("Tel", "").ok());
  EXPECT_EQ(phones_->Post().message(), "Invalid unique field value ''");
  phones_->Cancel();
  EXPECT_EQ(phones_->RowCount(), 2);
}

TEST_F(CursorTest, PolishCollationOrdersTheIndexes) {
  const char* surnames[] = {"Łoś", "lis", "Lis", "Luty", "Zając", "Żak", "Źrebiec", "Ćma", "Cegła", "Dąb"};
  int n = 0;
  for (const char* s : surnames) ASSERT_TRUE(AddPhone("x", s, std::to_string(++n)).ok());
  ASSERT_TRUE(phones_->SetOrder("NazwiskoIndex").ok());
  // ł after l, uppercase after lowercase of the same letter, ż after ź after z.
  EXPECT_EQ(Column(*phones_, "Nazwisko"),
            (std::vector<std::string>{"Cegła", "Ćma", "Dąb", "lis", "Lis", "Luty", "Łoś", "Zając", "Źrebiec", "Żak"}));
  // The natural order is the order of storing.
  ASSERT_TRUE(phones_->SetOrder("").ok());
  EXPECT_EQ(Column(*phones_, "Nazwisko")[0], "Łoś");
  ASSERT_TRUE(phones_->SetOrder("no such index").ok());
  EXPECT_EQ(Column(*phones_, "Nazwisko")[0], "Łoś");
}

TEST_F(CursorTest, FindsExactAndByPrefixThroughIndexesAndScans) {
  ASSERT_TRUE(AddPhone("Jan", "kowalski", "100").ok());
  ASSERT_TRUE(AddPhone("Ewa", "Kowalski", "200").ok());
  ASSERT_TRUE(AddPhone("Ola", "Nowak", "300").ok());
  ASSERT_TRUE(db_->CreateTable("scan", {FieldSpec{"a", FieldType::kText, 10}}).ok());
  struct Case {
    const char* fields;
    const char* value;
    bool prefix;
    bool ignoreCase;
    const char* expectTel;  // nullptr: not found
  };
  const Case cases[] = {
      {"Nazwisko", "Ko", true, false, "200"},  // prefix, case-sensitive: not "kowalski"
      {"Nazwisko", "ko", true, false, "100"},
      {"Nazwisko", "Kowalsk", false, false, nullptr},
      {"Nazwisko", "Kowalski", false, false, "200"},
      {"NAZWISKO", "nowak", false, true, "300"},  // ignore-case scans (no such index)
      {"tel", "300", false, false, "300"},
      {"TEL", "3", true, false, "300"},
      {"Tel", "4", true, false, nullptr},
      {"Imie", "E", true, false, "200"},
      {"id", "0", false, false, "100"},  // integers compare numerically; every ID is 0 here
      {"Imie;Nazwisko", "Ola", false, false, nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(phones_->SetOrder("").ok());
    phones_->Next();  // stand somewhere else first
    const std::int32_t before = phones_->RowNumber();
    bool found = false;
    Cursor::FindOptions options;
    options.prefix = c.prefix;
    options.ignoreCase = c.ignoreCase;
    ASSERT_TRUE(phones_->Find(c.fields, {c.value}, options, &found).ok()) << c.fields;
    EXPECT_EQ(found, c.expectTel != nullptr) << c.fields << " " << c.value;
    if (c.expectTel) {
      EXPECT_EQ(phones_->Text("Tel"), c.expectTel) << c.fields << " " << c.value;
    } else {
      EXPECT_EQ(phones_->RowNumber(), before) << "a miss leaves the cursor where it was";
    }
  }
}

TEST_F(CursorTest, PrefixFindsSurviveKeysWhoseStartsAreOutOfOrder) {
  // Ordered as Koa, kob, koc: the two-byte starts read Ko, ko, ko, so a
  // bisection for "Ko" walks past the one row that has it.
  for (const char* s : {"kob", "Koa", "koc"}) ASSERT_TRUE(AddPhone("x", s, s).ok());
  ASSERT_TRUE(phones_->SetOrder("NazwiskoIndex").ok());
  for (const char* prefix : {"Ko", "Koa", "ko", "koc"}) {
    bool found = false;
    Cursor::FindOptions options;
    options.prefix = true;
    ASSERT_TRUE(phones_->Find("Nazwisko", {prefix}, options, &found).ok());
    EXPECT_TRUE(found) << prefix;
    EXPECT_EQ(phones_->Text("Nazwisko").substr(0, std::string(prefix).size()), prefix);
  }
}

TEST_F(CursorTest, FindOnTwoFieldsNeedsBoth) {
  Cursor reports(db_, "raporty");
  ASSERT_TRUE(reports.Open().ok());
  const std::pair<const char*, const char*> rows[] = {
      {"600", "2024-01-01 10:00"}, {"601", "2024-01-01 10:00"}, {"600", "2024-01-02 11:00"}};
  for (const auto& [tel, data] : rows) {
    ASSERT_TRUE(reports.Append().ok());
    EXPECT_TRUE(reports.SetText("Tel", tel).ok());
    EXPECT_TRUE(reports.SetText("Data", data).ok());
    ASSERT_TRUE(reports.Post().ok());
  }
  bool found = false;
  ASSERT_TRUE(reports.Find("Data;Tel", {"2024-01-01 10:00", "601"}, {}, &found).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(reports.Position(), 2);
  ASSERT_TRUE(reports.Find("Data;Tel", {"2024-01-02 11:00", "601"}, {}, &found).ok());
  EXPECT_FALSE(found);
}

TEST_F(CursorTest, DeleteMovesToTheNextRowOrTheOneBefore) {
  for (int i = 1; i <= 4; ++i) ASSERT_TRUE(AddPhone("x", "y", std::to_string(i)).ok());
  ASSERT_TRUE(phones_->SetOrder("TelIndex").ok());
  phones_->Next();  // on "2"
  ASSERT_TRUE(phones_->Delete().ok());
  EXPECT_EQ(phones_->Text("Tel"), "3");
  phones_->Next();  // on "4", the last
  ASSERT_TRUE(phones_->Delete().ok());
  EXPECT_EQ(phones_->Text("Tel"), "3");
  ASSERT_TRUE(phones_->Delete().ok());
  ASSERT_TRUE(phones_->Delete().ok());
  EXPECT_TRUE(phones_->Eof());
  EXPECT_EQ(phones_->RowCount(), 0);
  EXPECT_FALSE(phones_->Delete().ok());
}

TEST_F(CursorTest, DeletedRowsVanishFromEveryOrderButKeepTheirNumbers) {
  for (int i = 1; i <= 5; ++i)
    ASSERT_TRUE(AddPhone("n" + std::to_string(i), "s" + std::to_string(6 - i), std::to_string(i)).ok());
  bool found = false;
  for (const char* tel : {"2", "4"}) {
    ASSERT_TRUE(phones_->Find("Tel", {tel}, {}, &found).ok());
    ASSERT_TRUE(phones_->Delete().ok());
  }
  Reopen();
  for (const char* order : {"", "TelIndex", "NazwiskoIndex", "ImieIndex"}) {
    ASSERT_TRUE(phones_->SetOrder(order).ok());
    std::vector<std::string> tels = Column(*phones_, "Tel");
    std::sort(tels.begin(), tels.end());
    EXPECT_EQ(tels, (std::vector<std::string>{"1", "3", "5"})) << order;
  }
  ASSERT_TRUE(AddPhone("new", "new", "6").ok());
  EXPECT_EQ(phones_->RowNumber(), 5);
  EXPECT_EQ(phones_->table()->header().rowCount, 6);
}

TEST_F(CursorTest, ChangesMoveRowsInEveryOrderAndSurviveReopening) {
  const char* names[] = {"Adam", "Bartek", "Celina", "Dorota"};
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(AddPhone(names[i], names[3 - i], std::to_string(10 + i)).ok());
  bool found = false;
  ASSERT_TRUE(phones_->Find("Tel", {"10"}, {}, &found).ok());
  ASSERT_TRUE(phones_->Edit().ok());
  EXPECT_TRUE(phones_->SetText("Imie", "Zenon").ok());
  EXPECT_TRUE(phones_->SetText("Tel", "99").ok());
  ASSERT_TRUE(phones_->Post().ok());
  for (int pass = 0; pass < 2; ++pass) {
    ASSERT_TRUE(phones_->SetOrder("ImieIndex").ok());
    EXPECT_EQ(Column(*phones_, "Imie"), (std::vector<std::string>{"Bartek", "Celina", "Dorota", "Zenon"}));
    ASSERT_TRUE(phones_->SetOrder("TelIndex").ok());
    EXPECT_EQ(Column(*phones_, "Tel"), (std::vector<std::string>{"11", "12", "13", "99"}));
    EXPECT_TRUE(phones_->table()->repairs.empty());
    Reopen();
  }
}

TEST_F(CursorTest, OrderIsKeptAcrossCloseAndOpen) {
  for (const char* s : {"b", "c", "a"}) ASSERT_TRUE(AddPhone("x", s, s).ok());
  ASSERT_TRUE(phones_->SetOrder("NazwiskoIndex").ok());
  phones_->Close();
  EXPECT_FALSE(phones_->IsOpen());
  ASSERT_TRUE(phones_->Open().ok());
  EXPECT_EQ(phones_->OrderName(), "NazwiskoIndex");
  EXPECT_EQ(Column(*phones_, "Nazwisko"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(phones_->Position(), 3);
}

TEST_F(CursorTest, NewRowTakesItsSortedPlaceAndPositionFollowsIt) {
  for (const char* tel : {"10", "30"}) ASSERT_TRUE(AddPhone("x", "y", tel).ok());
  ASSERT_TRUE(phones_->SetOrder("TelIndex").ok());
  ASSERT_TRUE(AddPhone("x", "y", "20").ok());
  EXPECT_EQ(phones_->Position(), 2);
  ASSERT_TRUE(phones_->SetOrder("").ok());
  phones_->First();
  phones_->Next();
  phones_->Next();
  EXPECT_EQ(phones_->Text("Tel"), "20");
  phones_->Next();
  EXPECT_TRUE(phones_->Eof());
}

TEST_F(CursorTest, RefreshSeesRowsAnotherConnectionAdded) {
  std::shared_ptr<Database> other;
  ASSERT_TRUE(Database::Open(path_, {}, &other).ok());
  Cursor elsewhere(other, "telefony");
  ASSERT_TRUE(elsewhere.Open().ok());
  ASSERT_TRUE(AddPhone("a", "a", "1").ok());
  ASSERT_TRUE(elsewhere.Append().ok());
  EXPECT_TRUE(elsewhere.SetText("Tel", "1").ok());
  EXPECT_EQ(elsewhere.Post().message(), "Invalid unique field value '1'") << "the write path catches up first";
  EXPECT_TRUE(elsewhere.SetText("Tel", "2").ok());
  ASSERT_TRUE(elsewhere.Post().ok());
  EXPECT_EQ(phones_->RowCount(), 1);
  ASSERT_TRUE(phones_->Refresh().ok());
  EXPECT_EQ(phones_->RowCount(), 2);
}

TEST_F(CursorTest, ViewUpdatesAreHeldWhileSuspended) {
  int changes = 0;
  phones_->onDataChange = [&] { ++changes; };
  phones_->DisableControls();
  for (int i = 0; i < 5; ++i) ASSERT_TRUE(AddPhone("x", "y", std::to_string(i)).ok());
  EXPECT_EQ(changes, 0);
  phones_->EnableControls();
  EXPECT_EQ(changes, 1);
}

TEST_F(CursorTest, ChangesSeeADeleteMadeByAnotherConnection) {
  ASSERT_TRUE(AddPhone("a", "a", "600100200").ok());
  ASSERT_TRUE(AddPhone("b", "b", "700").ok());
  std::shared_ptr<Database> other;
  ASSERT_TRUE(Database::Open(path_, {}, &other).ok());
  Cursor elsewhere(other, "telefony");
  ASSERT_TRUE(elsewhere.Open().ok());
  ASSERT_TRUE(elsewhere.Delete().ok());  // the first row
  // An edit of the gone row is refused rather than lost, and its number is free.
  ASSERT_TRUE(phones_->SetOrder("").ok());
  ASSERT_EQ(phones_->Text("Tel"), "600100200");
  ASSERT_TRUE(phones_->Edit().ok());
  EXPECT_TRUE(phones_->SetText("Imie", "z").ok());
  EXPECT_EQ(phones_->Post().message(), "Record not found");
  phones_->Cancel();
  ASSERT_TRUE(AddPhone("c", "c", "600100200").ok());
  ASSERT_TRUE(phones_->Refresh().ok());
  EXPECT_EQ(phones_->RowCount(), 2);
}

TEST(CursorNumberTest, FloatingPointFieldsHoldDoubles) {
  testing::TempDir dir;
  const std::string path = dir.File("f.tdb");
  ASSERT_TRUE(Database::Create(path).ok());
  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::Open(path, {}, &db).ok());
  ASSERT_TRUE(
      db->CreateTable("t", {FieldSpec{"f", FieldType::kFloat, 0}, FieldSpec{"d", FieldType::kDateTime, 0}}).ok());
  ASSERT_TRUE(db->CreateIndex("t", "byF", 0, {"f"}).ok());
  Cursor t(db, "t");
  ASSERT_TRUE(t.Open().ok());
  for (int v : {5, -3, 40}) {
    ASSERT_TRUE(t.Append().ok());
    ASSERT_TRUE(t.SetInt("f", v).ok());
    ASSERT_TRUE(t.SetInt("d", v * 2).ok());
    ASSERT_TRUE(t.Post().ok());
  }
  ASSERT_TRUE(t.SetOrder("byF").ok());
  std::vector<std::int64_t> values;
  for (t.First(); !t.Eof(); t.Next()) values.push_back(t.Int("f"));
  EXPECT_EQ(values, (std::vector<std::int64_t>{-3, 5, 40}));
  bool found = false;
  ASSERT_TRUE(t.Find("f", {"40"}, {}, &found).ok());
  EXPECT_TRUE(found);
  EXPECT_EQ(t.Int("d"), 80);
}

TEST_F(CursorTest, RowsAreReadByPositionAndMovingSettlesAPendingRow) {
  ASSERT_TRUE(AddPhone("Zofia", "Adamska", "3").ok());
  ASSERT_TRUE(AddPhone("Adam", "Nowak", "1").ok());
  ASSERT_TRUE(phones_->SetOrder("ImieIndex").ok());
  EXPECT_EQ(phones_->TextAt(1, "imie"), "Adam");
  EXPECT_EQ(phones_->TextAt(2, "Tel"), "3");
  EXPECT_EQ(phones_->TextAt(3, "Tel"), "") << "past the end";
  EXPECT_EQ(phones_->TextAt(1, "nope"), "");

  // Staying on the row being edited keeps the edit; moving away posts it.
  ASSERT_TRUE(phones_->Edit().ok());
  ASSERT_TRUE(phones_->SetText("Nazwisko", "Lis").ok());
  ASSERT_TRUE(phones_->MoveTo(1).ok());
  EXPECT_EQ(phones_->state(), Cursor::State::kEdit);
  ASSERT_TRUE(phones_->MoveTo(2).ok());
  EXPECT_EQ(phones_->state(), Cursor::State::kBrowse);
  EXPECT_EQ(phones_->Text("Imie"), "Zofia");
  EXPECT_EQ(phones_->TextAt(1, "Nazwisko"), "Lis");

  // A new row no field was written to is dropped by a move.
  ASSERT_TRUE(phones_->Append().ok());
  ASSERT_TRUE(phones_->MoveTo(1).ok());
  EXPECT_EQ(phones_->RowCount(), 2);
  EXPECT_EQ(phones_->Position(), 1);
}

}  // namespace
}  // namespace store
