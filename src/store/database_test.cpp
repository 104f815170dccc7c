#include "store/database.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <new>

#include <fcntl.h>
#include <unistd.h>

#include "store/cursor.h"
#include "store/testing/files.h"
#include "store/table.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

class DatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("db.tdb");
    ASSERT_TRUE(Database::Create(path_).ok());
    ASSERT_TRUE(Database::Open(path_, {}, &db_).ok());
  }

  std::uintmax_t Size() const { return std::filesystem::file_size(path_); }

  testing::TempDir dir_;
  std::string path_;
  std::shared_ptr<Database> db_;
};

FieldSpec Text(const std::string& name, int size) { return FieldSpec{name, FieldType::kText, size}; }
FieldSpec Int(const std::string& name) { return FieldSpec{name, FieldType::kInt32, 0}; }

TEST_F(DatabaseTest, CreateTableRefusesWithTheStoresMessagesAndWritesNothing) {
  ASSERT_TRUE(db_->CreateTable("existing", {Int("a")}).ok());
  std::vector<FieldSpec> tooMany;
  for (int i = 0; i < 96; ++i) tooMany.push_back(Int("f" + std::to_string(i)));
  struct Case {
    std::string table;
    std::vector<FieldSpec> fields;
    const char* message;
  };
  const Case cases[] = {
      {"", {Int("a")}, "Invalid table name ''"},
      {"bad\x01name", {Int("a")}, "Invalid table name 'bad\x01name'"},
      {"t", {}, "Field name expected"},
      {"t", tooMany, "Too many fields"},
      {"t", {Int("")}, "Invalid field name ''"},
      {"t", {FieldSpec{"x", FieldType(8), 0}}, "Field 'x' is of an unsupported type"},
      {"t", {Text("x", 0)}, "Invalid field size"},
      {"t", {Text("x", 8193)}, "Invalid field size"},
      {"t", {FieldSpec{"b", FieldType::kBlob, 4}}, "Invalid field size"},
      {"t", {Int("Tel"), Text("TEL", 5)}, "Duplicate field name 'TEL'"},
      {"t",
       {FieldSpec{"a", FieldType::kAutoInc, 0}, FieldSpec{"b", FieldType::kAutoInc, 0}},
       "Duplicate AutoInc field"},
      {"EXISTING", {Int("a")}, "Duplicate table name 'EXISTING'"},
  };
  const auto before = Size();
  for (const Case& c : cases) {
    const Status s = db_->CreateTable(c.table, c.fields);
    EXPECT_FALSE(s.ok()) << c.message;
    EXPECT_EQ(s.message(), c.message);
  }
  EXPECT_EQ(Size(), before);
}

TEST_F(DatabaseTest, TextSizesAtTheLimitsAndEveryTypeAreAccepted) {
  ASSERT_TRUE(
      db_->CreateTable("limits", {Text("one", 1), Text("max", 8192), FieldSpec{"w", FieldType::kInt16, 0},
                                  FieldSpec{"u", FieldType::kUInt16, 0}, FieldSpec{"b", FieldType::kBoolean, 0},
                                  FieldSpec{"f", FieldType::kFloat, 0}, FieldSpec{"m", FieldType::kBlob, 0},
                                  FieldSpec{"l", FieldType::kInt64, 0}, FieldSpec{"x", FieldType::kFixedText, 3}})
          .ok());
  Cursor c(db_, "limits");
  ASSERT_TRUE(c.Open().ok());
  EXPECT_EQ(c.table()->RowSize(), 2 + 8193 + 2 + 2 + 2 + 8 + 20 + 8 + 4);
  // Rows of types the configurator never uses still store and read back.
  ASSERT_TRUE(c.Append().ok());
  const std::pair<const char*, std::int64_t> numbers[] = {{"w", -7}, {"u", 65535}, {"b", 1}, {"l", 1LL << 40}};
  for (const auto& [field, value] : numbers) ASSERT_TRUE(c.SetInt(field, value).ok()) << field;
  ASSERT_TRUE(c.SetText("max", std::string(9000, 'm')).ok());
  ASSERT_TRUE(c.SetText("x", "abcdef").ok());
  ASSERT_TRUE(c.Post().ok());
  Cursor again(db_, "limits");
  ASSERT_TRUE(again.Open().ok());
  for (const auto& [field, value] : numbers) EXPECT_EQ(again.Int(field), value) << field;
  bool flag = false;
  ASSERT_TRUE(again.GetBool("b", &flag).ok());
  EXPECT_TRUE(flag);
  EXPECT_EQ(again.Text("max").size(), 8192u);
  EXPECT_EQ(again.Text("x"), "abc");
  EXPECT_EQ(again.Text("l"), std::to_string(1LL << 40));
  EXPECT_EQ(again.Int("m"), 0);
}

TEST_F(DatabaseTest, CreateIndexRefusesWithTheStoresMessages) {
  ASSERT_TRUE(db_->CreateTable("t", {Int("a"), Text("b", 5), FieldSpec{"c", FieldType::kAutoInc, 0}}).ok());
  ASSERT_TRUE(db_->CreateTable("full", {Int("a")}).ok());
  for (int i = 0; i < 8; ++i) ASSERT_TRUE(db_->CreateIndex("full", "i" + std::to_string(i), 0, {"a"}).ok());
  ASSERT_TRUE(db_->CreateTable("used", {Int("a")}).ok());
  {
    Cursor used(db_, "used");
    ASSERT_TRUE(used.Open().ok());
    ASSERT_TRUE(used.Append().ok());
    ASSERT_TRUE(used.Post().ok());
    ASSERT_TRUE(used.Delete().ok());  // a table that ever had a row is settled
  }
  ASSERT_TRUE(db_->CreateIndex("t", "byA", 0, {"a"}).ok());
  struct Case {
    const char* table;
    const char* index;
    std::uint8_t options;
    std::vector<std::string> fields;
    const char* message;
  };
  const Case cases[] = {
      {"", "x", 0, {"a"}, "Invalid table name ''"},
      {"t", "", 0, {"a"}, "Invalid index name ''"},
      {"missing", "x", 0, {"a"}, "Table 'missing' not found"},
      {"full", "x", 0, {"a"}, "Too many indexes"},
      {"t", "BYA", 0, {"a"}, "Duplicate index name 'BYA'"},
      {"t", "p2", kIndexPrimary, {"a"}, "Duplicate primary index"},  // the auto-increment field made one
      {"used", "x", 0, {"a"}, "Fail to create index"},
      {"t", "x", 0, {}, "Field name expected"},
      {"t", "x", 0, {"a", "A"}, "Duplicate field name 'A'"},
      {"t", "x", 0, {"zzz"}, "Field 'zzz' not found"},
  };
  const auto before = Size();
  for (const Case& c : cases) {
    const Status s = db_->CreateIndex(c.table, c.index, c.options, c.fields);
    EXPECT_EQ(s.message(), c.message);
  }
  EXPECT_EQ(Size(), before);
}

TEST_F(DatabaseTest, AutoIncrementFieldGetsAPrimaryIndexAndCountsUp) {
  ASSERT_TRUE(db_->CreateTable("log", {FieldSpec{"id", FieldType::kAutoInc, 0}, Text("what", 10)}).ok());
  Cursor c(db_, "log");
  ASSERT_TRUE(c.Open().ok());
  ASSERT_EQ(c.table()->header().indexes.size(), 1u);
  EXPECT_EQ(c.table()->header().indexes[0].name, "id");
  EXPECT_EQ(c.table()->header().indexes[0].options, kIndexPrimary);
  const std::pair<std::int64_t, std::int64_t> cases[] = {{0, 1}, {0, 2}, {10, 10}, {0, 11}};
  for (const auto& [given, stored] : cases) {
    ASSERT_TRUE(c.Append().ok());
    if (given) {
      EXPECT_TRUE(c.SetInt("id", given).ok());
    }
    ASSERT_TRUE(c.Post().ok());
    EXPECT_EQ(c.Int("id"), stored);
  }
  ASSERT_TRUE(c.Append().ok());
  EXPECT_TRUE(c.SetInt("id", 10).ok());
  EXPECT_EQ(c.Post().message(), "Invalid unique field value '10'");
}

TEST(DatabaseOpenTest, RefusesWhatIsNotADatabase) {
  testing::TempDir dir;
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir.File(name), std::ios::binary) << bytes;
    return dir.File(name);
  };
  std::string valid(3821, '\0');
  valid.replace(0, 7, std::string("TinyDB\0", 7));
  std::string old = valid, future = valid, newer = valid;
  old.replace(7, 4, "1.00");
  future.replace(7, 3, "3.0");
  newer.replace(7, 3, "2.1");
  const std::string shortFile = write("short", valid.substr(0, 100));
  struct Case {
    std::string path;
    std::string message;
  };
  const Case cases[] = {
      {dir.File("absent.tdb"), "Cannot open file " + dir.File("absent.tdb") + ": No such file or directory"},
      {write("empty", ""), "Database file '" + dir.File("empty") + "' is not a valid database file"},
      {write("text", "hello, this is not a database at all"),
       "Database file '" + dir.File("text") + "' is not a valid database file"},
      {write("old", old), "Version 1.x is not compatible"},
      {write("future", future), "Version of database file is too High"},
      {write("newer", newer), "Version of database file is too High"},
      {shortFile, "Database file '" + shortFile + "' is not a valid database file"},
  };
  for (const Case& c : cases) {
    std::shared_ptr<Database> db;
    const Status s = Database::Open(c.path, {}, &db);
    EXPECT_FALSE(s.ok()) << c.path;
    EXPECT_EQ(s.message(), c.message);
  }
  std::shared_ptr<Database> db;
  EXPECT_TRUE(Database::Open(write("good", valid), {}, &db).ok());
}

TEST(DatabaseOpenTest, ReadOnlyFileOpensForReadingAndRefusesChanges) {
  testing::TempDir dir;
  const std::string path = dir.File("ro.tdb");
  ASSERT_TRUE(Database::Create(path).ok());
  {
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Database::Open(path, {}, &db).ok());
    ASSERT_TRUE(db->CreateTable("t", {Int("a")}).ok());
  }
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::Open(path, {}, &db).ok());
  EXPECT_TRUE(db->ReadOnly());
  Cursor c(db, "t");
  ASSERT_TRUE(c.Open().ok());
  ASSERT_TRUE(c.Append().ok());
  EXPECT_FALSE(c.Post().ok());
  EXPECT_FALSE(db->CreateTable("u", {Int("a")}).ok());
  EXPECT_EQ(std::filesystem::file_size(path), 3821u + 4821u);
}

// Files far larger than the store can address or hold in memory, as a
// damaged disk or a wrong file can give: refused with a message, never an
// abort. Sparse, so they cost no disk.
TEST(DatabaseOpenTest, HugeFilesAndHugeClaimsAreRefusedWithAMessage) {
  testing::TempDir dir;
  const struct {
    const char* name;
    std::int64_t size;      // the file's size after ftruncate
    std::int32_t rowCount;  // written into the header of `telefony`; -1 leaves it
    bool refusedAtOpen;
    std::string message;  // the start of the refusal
  } cases[] = {
      {"a 40 GB file", std::int64_t(40) << 30, -1, true, "is larger than the store can hold (42949672960 bytes"},
      {"just past the int32 offsets", std::int64_t(INT32_MAX) + 1, -1, true, "is larger than the store can hold"},
      {"1 GB claiming 100 million phones", std::int64_t(1) << 30, 100000000, false,
       "record tab of table 'telefony' is damaged: its row count claims rows it does not hold (100000000 rows in '%')"},
      {"a small file claiming the most rows there can be", 0, INT32_MAX, false,
       "its row count claims rows it does not hold (2147483647 rows in '%')"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File("huge.tdb");
    ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    if (c.rowCount >= 0) {
      char count[4];
      PutInt32(count, c.rowCount);
      // telefony's header is the first after the fixed part.
      ASSERT_EQ(::pwrite(fd, count, 4, kFirstTableOffset + TableHeader::kRowCountAt), 4);
    }
    if (c.size > 0) {
      ASSERT_EQ(::ftruncate(fd, off_t(c.size)), 0) << "no sparse files here";
    }
    ::close(fd);
    std::string expected = c.message;
    if (const size_t at = expected.find('%'); at != std::string::npos) expected.replace(at, 1, path);

    std::shared_ptr<Database> db;
    Status s = Database::Open(path, {}, &db);
    if (!c.refusedAtOpen) {
      ASSERT_TRUE(s.ok()) << s.ToString();
      Cursor phones(db, "telefony");
      s = phones.Open();
      // The other tables are fine and still open.
      Cursor settings(db, "config");
      EXPECT_TRUE(settings.Open().ok());
    }
    EXPECT_EQ(s.code(), Status::Code::kCorruption);
    EXPECT_NE(s.message().find(expected), std::string::npos) << s.message();
    db.reset();
    std::filesystem::remove(path);
  }
}

// Memory running out while a table is read is a status of the load, not the
// end of the program.
TEST(DatabaseOpenTest, RunningOutOfMemoryWhileLoadingIsAStatus) {
  class StarvedFile final : public File {
   public:
    explicit StarvedFile(std::unique_ptr<File> inner) : inner_(std::move(inner)) {}
    bool starved = false;
    // Only a read of the whole file wants memory enough to run out.
    Status ReadAt(std::int64_t offset, std::size_t n, char* dst) override {
      if (starved && n > 16384) throw std::bad_alloc();
      return inner_->ReadAt(offset, n, dst);
    }
    Status WriteAt(std::int64_t offset, std::string_view data) override { return inner_->WriteAt(offset, data); }
    Status Size(std::int64_t* size) override { return inner_->Size(size); }
    Status Sync() override { return inner_->Sync(); }
    Status TryLock(LockKind kind) override { return inner_->TryLock(kind); }
    void Unlock() override { inner_->Unlock(); }
    bool ReadOnly() const override { return inner_->ReadOnly(); }
    const std::string& Path() const override { return inner_->Path(); }

   private:
    std::unique_ptr<File> inner_;
  };

  testing::TempDir dir;
  const std::string path = dir.File("starved.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
  std::unique_ptr<File> os;
  ASSERT_TRUE(OpenOsFile(path, {}, &os).ok());
  auto starved = std::make_unique<StarvedFile>(std::move(os));
  StarvedFile* file = starved.get();
  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::OpenOn(std::move(starved), {}, &db).ok());
  Cursor phones(db, "telefony");
  ASSERT_TRUE(phones.Open().ok());
  ASSERT_TRUE(phones.Append().ok());
  ASSERT_TRUE(phones.SetText("Tel", "600100200").ok());
  ASSERT_TRUE(phones.Post().ok());

  // A load, and a catch-up after another writer grew the file.
  file->starved = true;
  Cursor again(db, "telefony");
  Status s = again.Open();
  EXPECT_EQ(s.message(), "Not enough memory to load table 'telefony' of '" + path + "'");
  {
    std::shared_ptr<Database> other;
    ASSERT_TRUE(Database::Open(path, {}, &other).ok());
    Cursor theirs(other, "telefony");
    ASSERT_TRUE(theirs.Open().ok());
    ASSERT_TRUE(theirs.Append().ok());
    ASSERT_TRUE(theirs.SetText("Tel", "600100300").ok());
    ASSERT_TRUE(theirs.Post().ok());
  }
  // This cursor finds the file grown when it next writes.
  ASSERT_TRUE(phones.Append().ok());
  ASSERT_TRUE(phones.SetText("Tel", "600100400").ok());
  EXPECT_EQ(phones.Post().message(), "Not enough memory to load table 'telefony' of '" + path + "'");
  phones.Cancel();
  s = phones.Refresh();
  EXPECT_EQ(s.message(), "Not enough memory to load table 'telefony' of '" + path + "'");
  file->starved = false;
  ASSERT_TRUE(phones.Refresh().ok());
  EXPECT_EQ(phones.RowCount(), 2);
}

}  // namespace
}  // namespace store
