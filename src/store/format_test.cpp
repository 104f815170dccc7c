#include "store/testing/files.h"
#include "store/format.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstring>
#include <iterator>
#include <limits>

#include "store/cursor.h"
#include "store/database.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::ReadAll;

TEST(FormatTest, IntegersAreLittleEndianByteByByte) {
  char b[8];
  PutInt32(b, 0x01020304);
  EXPECT_EQ(std::string(b, 4), std::string("\x04\x03\x02\x01", 4));
  PutInt32(b, -1);
  EXPECT_EQ(GetInt32(b), -1);
  PutInt16(b, -2);
  EXPECT_EQ(GetInt16(b), -2);
  PutInt64(b, -5000000000LL);
  EXPECT_EQ(GetInt64(b), -5000000000LL);
}

// A floating-point field read as a number: stored doubles that no int64
// holds (a damaged or foreign file) read as the nearest end, NaN as 0.
TEST(FormatTest, StoredDoublesReadAsNumbersWithinTheInt64Range) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  const struct {
    double stored;
    std::int64_t read;
  } cases[] = {
      {2.9, 2},
      {-2.9, -2},
      {1e300, kMax},
      {-1e300, kMin},
      {std::numeric_limits<double>::infinity(), kMax},
      {-std::numeric_limits<double>::infinity(), kMin},
      {std::numeric_limits<double>::quiet_NaN(), 0},
      {9223372036854775808.0, kMax},                   // 2^63: one past the largest int64
      {-9223372036854775808.0, kMin},                  // -2^63: the smallest int64 itself
      {9223372036854774784.0, 9223372036854774784LL},  // the largest double below 2^63
  };
  for (FieldType type : {FieldType::kFloat, FieldType::kDateTime}) {
    const FieldDefinition field{"x", type, 0};
    for (const auto& c : cases) {
      char bytes[8];
      std::memcpy(bytes, &c.stored, sizeof bytes);
      EXPECT_EQ(GetFieldNumber(field, bytes), c.read) << c.stored << " as type " << int(type);
    }
  }
}

TEST(FormatTest, NamesAreCutToThirtyTwoBytesAndZeroFilled) {
  char field[kNameFieldLength];
  PutName(field, std::string(40, 'x'));
  EXPECT_EQ(GetName(field), std::string(32, 'x'));
  EXPECT_EQ(field[32], 0);
  PutName(field, "Tel");
  EXPECT_EQ(GetName(field), "Tel");
  for (int i = 3; i < kNameFieldLength; ++i) EXPECT_EQ(field[i], 0) << i;
}

TEST(FormatTest, NewDatabaseIsTheFixedPartOnly) {
  testing::TempDir dir;
  const std::string path = dir.File("empty.tdb");
  ASSERT_TRUE(Database::Create(path).ok());
  const std::string bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 3821u);
  EXPECT_EQ(bytes.substr(0, 12), std::string("TinyDB\0"
                                             "2.0\0\0",
                                             12));
  EXPECT_EQ(bytes.substr(12, 2305), std::string(2305, '\0'));
  // Options: compression off, level 1, encryption and checksums off.
  EXPECT_EQ(bytes[2317], 0);
  EXPECT_EQ(bytes[2318], 1);
  EXPECT_EQ(bytes[2317 + 35], 0);
  EXPECT_EQ(bytes[2317 + 70], 0);
  for (int i = 0; i < 256; ++i) {
    const unsigned char r = static_cast<unsigned char>(bytes[size_t(2317 + 71 + i)]);
    EXPECT_TRUE(r >= 20 && r <= 122) << i;
  }
  EXPECT_EQ(bytes.substr(2789), std::string(1032, '\0'));
}

// The configurator's schema, byte for byte where it matters to other readers.
TEST(FormatTest, ConfiguratorSchemaGoldenLayout) {
  testing::TempDir dir;
  const std::string path = dir.File("selvantrixx.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
  const std::string bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), 18284u);
  EXPECT_EQ(GetInt32(bytes.data() + 2789), 3);
  EXPECT_EQ(GetInt32(bytes.data() + 2789 + 8), 3821);
  EXPECT_EQ(GetInt32(bytes.data() + 2789 + 12), 8642);
  EXPECT_EQ(GetInt32(bytes.data() + 2789 + 16), 13463);

  TableHeader telefony;
  ASSERT_TRUE(TableHeader::DecodeFrom(bytes.data() + 3821, &telefony).ok());
  EXPECT_EQ(telefony.name, "telefony");
  EXPECT_EQ(telefony.rowCount, 0);
  EXPECT_EQ(telefony.recordTab, 0);
  const std::pair<const char*, std::pair<FieldType, int>> fields[] = {{"ID", {FieldType::kInt32, 0}},
                                                                      {"Imie", {FieldType::kText, 40}},
                                                                      {"Nazwisko", {FieldType::kText, 40}},
                                                                      {"Tel", {FieldType::kText, 12}},
                                                                      {"ST", {FieldType::kInt32, 0}}};
  ASSERT_EQ(telefony.fields.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(telefony.fields[i].name, fields[i].first);
    EXPECT_EQ(telefony.fields[i].type, fields[i].second.first);
    EXPECT_EQ(telefony.fields[i].size, fields[i].second.second);
  }
  const std::pair<const char*, std::uint8_t> indexes[] = {
      {"TelIndex", kIndexUnique}, {"NazwiskoIndex", 0}, {"ImieIndex", 0}};
  const std::int32_t fieldOf[] = {3, 2, 1};
  ASSERT_EQ(telefony.indexes.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(telefony.indexes[i].name, indexes[i].first);
    EXPECT_EQ(telefony.indexes[i].options, indexes[i].second);
    EXPECT_EQ(telefony.indexes[i].fields, std::vector<std::int32_t>{fieldOf[i]});
    EXPECT_EQ(telefony.indexes[i].tabOffset, 8642);
    EXPECT_EQ(telefony.indexes[i].head, 0);
    // Unused key positions hold -1.
    EXPECT_EQ(GetInt32(bytes.data() + 3821 + TableHeader::IndexDefinitionAt(int(i)) + 34 + 4), -1);
  }
  // Encoding the decoded header gives the same bytes back.
  std::string again(size_t(TableHeader::kEncodedLength), '\0');
  telefony.EncodeTo(again.data());
  EXPECT_EQ(again, bytes.substr(3821, size_t(TableHeader::kEncodedLength)));

  TableHeader raporty;
  ASSERT_TRUE(TableHeader::DecodeFrom(bytes.data() + 13463, &raporty).ok());
  EXPECT_EQ(raporty.name, "raporty");
  EXPECT_EQ(raporty.fields[1].name, "Data");
  EXPECT_EQ(raporty.fields[1].size, 18);
  EXPECT_TRUE(raporty.indexes.empty());
}

TEST(FormatTest, FirstRowAddsRecordTabRowAndThreeIndexTabs) {
  testing::TempDir dir;
  const std::string path = dir.File("selvantrixx.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
  std::shared_ptr<Database> db;
  ASSERT_TRUE(Database::Open(path, {}, &db).ok());
  Cursor phones(db, "telefony");
  ASSERT_TRUE(phones.Open().ok());
  ASSERT_TRUE(phones.Append().ok());
  EXPECT_TRUE(phones.SetInt("ID", 2).ok());
  EXPECT_TRUE(phones.SetText("Imie", "Jan").ok());
  EXPECT_TRUE(phones.SetText("Nazwisko", "Kowalski").ok());
  EXPECT_TRUE(phones.SetText("Tel", "600100200").ok());
  ASSERT_TRUE(phones.Post().ok());

  const std::string bytes = ReadAll(path);
  // A flushed change writes zeros ahead of the end, in the page size's
  // steps, and tells the end and the size it wrote in the options'
  // reserved bytes; past the end there is nothing else.
  const size_t used = 18284u + 5124 + 103 + 3 * 8196;
  EXPECT_EQ(bytes.substr(2317 + 456, 4), std::string("END\x01", 4));
  EXPECT_EQ(GetInt32(bytes.data() + 2317 + 460), std::int32_t(used));
  EXPECT_EQ(GetInt32(bytes.data() + 2317 + 464), std::int32_t(bytes.size()));
  EXPECT_EQ(bytes.substr(2317 + 468, 4), std::string(4, '\0'));
  EXPECT_GE(bytes.size(), used + 65536);
  EXPECT_EQ(bytes.size() % 4096, 0u);
  EXPECT_EQ(bytes.find_first_not_of('\0', used), std::string::npos);
  const char* header = bytes.data() + 3821;
  EXPECT_EQ(GetInt32(header + 33), 18284);  // record tab right after the schema
  EXPECT_EQ(GetInt32(header + 37), 1);
  // Record item 0 points at the row right after its chunk.
  EXPECT_EQ(GetInt32(bytes.data() + 18284 + 4), 18284 + 5124);
  EXPECT_EQ(bytes[18284 + 8], 0);
  const char* row = bytes.data() + 18284 + 5124;
  EXPECT_EQ(GetInt32(row), 2);
  EXPECT_EQ(std::string(row + 4), "Jan");
  EXPECT_EQ(std::string(row + 45), "Kowalski");
  EXPECT_EQ(std::string(row + 86), "600100200");
  EXPECT_EQ(GetInt32(row + 99), 0);
  // Each index tab follows, in slot order, with item 0 = (0, -1) and head 0.
  for (int slot = 0; slot < 3; ++slot) {
    const std::int64_t chunk = 18284 + 5124 + 103 + slot * 8196;
    EXPECT_EQ(GetInt32(header + TableHeader::IndexDefinitionAt(slot) + 66), chunk) << slot;
    EXPECT_EQ(GetInt32(header + TableHeader::IndexDefinitionAt(slot) + 70), 0) << slot;
    EXPECT_EQ(GetInt32(bytes.data() + chunk), 0);
    EXPECT_EQ(GetInt32(bytes.data() + chunk + 4), 0);
    EXPECT_EQ(GetInt32(bytes.data() + chunk + 8), -1);
  }
}

TEST(FormatTest, RowTenTwentyFiveStartsALinkedSecondChunk) {
  testing::TempDir dir;
  const std::string path = dir.File("t.tdb");
  ASSERT_TRUE(Database::Create(path).ok());
  std::shared_ptr<Database> db;
  Database::Options fast;
  fast.sync = SyncMode::kNone;
  ASSERT_TRUE(Database::Open(path, fast, &db).ok());
  ASSERT_TRUE(db->CreateTable("t", {FieldSpec{"n", FieldType::kInt32, 0}}).ok());
  ASSERT_TRUE(db->CreateIndex("t", "byN", kIndexDescending, {"n"}).ok());
  Cursor t(db, "t");
  ASSERT_TRUE(t.Open().ok());
  for (int i = 0; i < 1025; ++i) {
    ASSERT_TRUE(t.Append().ok());
    EXPECT_TRUE(t.SetInt("n", i).ok());
    ASSERT_TRUE(t.Post().ok()) << i;
  }
  const std::string bytes = ReadAll(path);
  const char* header = bytes.data() + 3821;
  EXPECT_EQ(GetInt32(header + 37), 1025);
  const std::int32_t first = GetInt32(header + 33);
  const std::int32_t second = GetInt32(bytes.data() + first);
  ASSERT_GT(second, first);
  EXPECT_EQ(GetInt32(bytes.data() + second), 0);
  // Item 0 of the second chunk is row 1024, whose data follows the chunk.
  EXPECT_EQ(GetInt32(bytes.data() + second + 4), second + 5124);
  EXPECT_EQ(GetInt32(bytes.data() + second + 5124), 1024);
  // The index tab grew a second chunk too, linked from the first.
  const std::int32_t indexFirst = GetInt32(header + TableHeader::IndexDefinitionAt(0) + 66);
  EXPECT_GT(GetInt32(bytes.data() + indexFirst), indexFirst);
  // Descending: the last row heads the order.
  EXPECT_EQ(GetInt32(header + TableHeader::IndexDefinitionAt(0) + 70), 1024);

  Cursor again(db, "t");
  ASSERT_TRUE(again.SetOrder("byN").ok());
  ASSERT_TRUE(again.Open().ok());
  EXPECT_EQ(again.RowCount(), 1025);
  int expected = 1024;
  for (again.First(); !again.Eof(); again.Next()) EXPECT_EQ(again.Int("n"), expected--);
  EXPECT_EQ(expected, -1);
  EXPECT_TRUE(again.table()->repairs.empty());
}

}  // namespace
}  // namespace store
