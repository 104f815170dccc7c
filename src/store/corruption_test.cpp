// Damaged files: cut short, or with garbage in the fixed structures. Opening
// and loading either give consistent tables or refuse with a message; they
// never crash, hang or hand out bytes from outside a field.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "store/testing/files.h"
#include "store/collation.h"
#include "store/cursor.h"
#include "store/database.h"
#include "store/format.h"
#include "store/table.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::Fast;
using testing::ReadAll;
using testing::WriteAll;

std::string Four(std::int32_t value) {
  std::string bytes(4, '\0');
  PutInt32(bytes.data(), value);
  return bytes;
}

Status Post(Cursor& c, const std::vector<std::pair<std::string, std::string>>& values) {
  Status s = c.Append();
  for (const auto& [field, value] : values) {
    if (s.ok()) s = c.SetText(field, value);
  }
  if (s.ok()) s = c.Post();
  return s;
}

Status AddPhone(Cursor& c, int id, const std::string& imie, const std::string& nazwisko, const std::string& tel,
                std::int64_t st = 0) {
  return Post(
      c,
      {{"ID", std::to_string(id)}, {"Imie", imie}, {"Nazwisko", nazwisko}, {"Tel", tel}, {"ST", std::to_string(st)}});
}

// Every table of the file by name, its rows as field texts joined by "|",
// sorted; or the first status that is not ok.
using Contents = std::map<std::string, std::vector<std::string>>;

Status ReadContents(const std::string& path, Contents* out) {
  std::shared_ptr<Database> db;
  Status s = Database::Open(path, Fast(), &db);
  if (!s.ok()) return s;
  std::vector<std::string> names;
  s = db->TableNames(&names);
  if (!s.ok()) return s;
  out->clear();
  for (const std::string& name : names) {
    Cursor c(db, name);
    s = c.Open();
    if (!s.ok()) return s;
    std::vector<std::string>& rows = (*out)[name];
    for (c.First(); !c.Eof(); c.Next()) {
      std::string row;
      for (const FieldDefinition& f : c.table()->header().fields) row += c.Text(f.name) + "|";
      rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
  }
  return Status::Ok();
}

// ---------------------------------------------------------------------------

struct HeaderCase {
  const char* name;
  std::function<void(const std::string& path)> make;  // writes the file, or leaves it missing
  const char* message;                                // "%" stands for the path
};

TEST(CorruptionTest, FilesThatAreNoDatabaseAreRefusedByName) {
  testing::TempDir dir;
  const std::string good = dir.File("good.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(good).ok());
  const std::string bytes = ReadAll(good);
  auto patched = [&](std::int64_t at, std::string with) {
    return [=](const std::string& path) {
      std::string b = bytes;
      b.replace(size_t(at), with.size(), with);
      WriteAll(path, b);
    };
  };
  const HeaderCase cases[] = {
      {"empty file", [](const std::string& p) { WriteAll(p, ""); }, "Database file '%' is not a valid database file"},
      {"11 bytes", [&](const std::string& p) { WriteAll(p, bytes.substr(0, 11)); },
       "Database file '%' is not a valid database file"},
      {"header only", [&](const std::string& p) { WriteAll(p, bytes.substr(0, 12)); },
       "Database file '%' is not a valid database file"},
      {"cut inside the directory", [&](const std::string& p) { WriteAll(p, bytes.substr(0, 3000)); },
       "Database file '%' is not a valid database file"},
      {"bad signature", patched(0, "SQLite"), "Database file '%' is not a valid database file"},
      {"signature without its zero", patched(6, "!"), "Database file '%' is not a valid database file"},
      {"version 1.00", patched(7, std::string("1.00\0", 5)), "Version 1.x is not compatible"},
      {"version 3.0", patched(7, std::string("3.0\0\0", 5)), "Version of database file is too High"},
      {"version 2.1", patched(7, std::string("2.1\0\0", 5)), "Version of database file is too High"},
      {"missing file", [](const std::string&) {}, "Cannot open file %: No such file or directory"},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(std::string("case-") + std::to_string(&c - cases) + ".tdb");
    c.make(path);
    std::string expected = c.message;
    if (const size_t at = expected.find('%'); at != std::string::npos) expected.replace(at, 1, path);
    std::shared_ptr<Database> db;
    const Status s = Database::Open(path, Fast(), &db);
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.message(), expected);
    EXPECT_EQ(db, nullptr);
  }
}

// ---------------------------------------------------------------------------
// A file cut short anywhere inside its last append: what a crash leaves when
// the header reached the disk and the end of the file did not.

struct TruncationCase {
  const char* name;
  // Builds the database up to the last post, then makes that post.
  std::function<Status(const std::shared_ptr<Database>&)> before;
  std::function<Status(const std::shared_ptr<Database>&)> last;
};

Status FourPhones(const std::shared_ptr<Database>& db) {
  Cursor phones(db, "telefony");
  Status s = phones.Open();
  if (s.ok()) s = AddPhone(phones, 1, "Jan", "Kowalski", "600100200");
  if (s.ok()) s = AddPhone(phones, 2, Utf8ToWindows1250("Łucja"), Utf8ToWindows1250("Żak"), "600100100");
  if (s.ok()) s = AddPhone(phones, 3, "Adam", "Nowak", "600100300", 1);
  if (s.ok()) s = AddPhone(phones, 4, "Ewa", "Nowak", "600100150");
  return s;
}

// Groups equal problems of consecutive lengths, for a short report.
std::string Summarise(const std::vector<std::pair<std::int64_t, std::string>>& problems) {
  std::string text;
  for (size_t i = 0; i < problems.size();) {
    size_t j = i;
    while (j + 1 < problems.size() && problems[j + 1].second == problems[i].second &&
           problems[j + 1].first == problems[j].first - 1) {
      ++j;
    }
    text += "\n  length " + std::to_string(problems[j].first) + ".." + std::to_string(problems[i].first) + ": " +
            problems[i].second;
    i = j + 1;
  }
  return text;
}

TEST(CorruptionTest, FileCutInsideItsLastAppendShowsTheRowsBeforeIt) {
  const TruncationCase cases[] = {
      {"a phone added to a record tab in use", FourPhones,
       [](const std::shared_ptr<Database>& db) {
         Cursor phones(db, "telefony");
         Status s = phones.Open();
         if (s.ok()) s = AddPhone(phones, 5, "Zofia", Utf8ToWindows1250("Ćwik"), "600100250", 2);
         return s;
       }},
      {"the first config row, with the record tab it starts", FourPhones,
       [](const std::shared_ptr<Database>& db) {
         Cursor config(db, "config");
         Status s = config.Open();
         if (s.ok()) s = Post(config, {{"key", "port"}, {"value", "COM1"}});
         return s;
       }},
  };
  for (const TruncationCase& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string path = dir.File("db.tdb");
    ASSERT_TRUE(testing::CreatePhoneDatabase(path).ok());
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Database::Open(path, Fast(), &db).ok());
    ASSERT_TRUE(c.before(db).ok());
    Contents before, after;
    ASSERT_TRUE(ReadContents(path, &before).ok());
    const std::int64_t from = std::int64_t(std::filesystem::file_size(path));
    ASSERT_TRUE(c.last(db).ok());
    db.reset();
    ASSERT_TRUE(ReadContents(path, &after).ok());
    const std::int64_t to = std::int64_t(std::filesystem::file_size(path));
    ASSERT_GT(to, from);
    ASSERT_NE(before, after);

    // Cutting one copy ever shorter gives each length in turn.
    const std::string work = dir.File("cut.tdb");
    std::filesystem::copy_file(path, work);
    std::vector<std::pair<std::int64_t, std::string>> problems;
    for (std::int64_t length = to; length >= from; --length) {
      std::filesystem::resize_file(work, std::uintmax_t(length));
      Contents found;
      const Status s = ReadContents(work, &found);
      if (!s.ok()) {
        problems.emplace_back(length, s.ToString());
      } else if (found != (length == to ? after : before)) {
        problems.emplace_back(
            length, length == to ? "rows differ from the whole file's" : "rows are not those before the last append");
      }
    }
    EXPECT_TRUE(problems.empty()) << problems.size() << " of " << (to - from + 1) << " lengths from " << from << " to "
                                  << to << " fail:" << Summarise(problems);
  }
}

// ---------------------------------------------------------------------------
// Garbage in the structures a load trusts. Each damaged file is opened in a
// child process, so that a crash or a hang is reported as the failure of its
// case instead of ending the whole test program.

// Where the parts of the base file stand.
struct Layout {
  std::int64_t size = 0;
  std::int64_t telefony = 0;  // table header offsets
  std::int64_t config = 0;
  std::int32_t rowCount = 0;  // of telefony
  std::int64_t recordTab = 0;
  std::int64_t telIndexTab = 0;
  std::vector<std::int64_t> rowAt;  // data offset per phone row
  int rowSize = 0;

  std::int64_t Field(int field) const {
    return telefony + TableHeader::kFieldsAt + field * FieldDefinition::kEncodedLength;
  }
  std::int64_t Index(int slot) const { return telefony + TableHeader::IndexDefinitionAt(slot); }
  std::int64_t Item(int row) const { return RecordItemOffset(recordTab, row); }
};

enum class Expect { kEither, kRefused };

struct FlipCase {
  const char* name;
  std::function<std::int64_t(const Layout&)> at;
  std::function<std::string(const Layout&)> bytes;
  Expect expect = Expect::kEither;
};

// The checks a child runs on a damaged file. Empty when the file was refused
// with a message or loaded consistently; the reason otherwise.
std::string CheckDamagedFile(const std::string& path, std::string* outcome) {
  std::shared_ptr<Database> db;
  Status s = Database::Open(path, Fast(), &db);
  std::vector<std::string> names;
  if (s.ok()) s = db->TableNames(&names);
  for (size_t i = 0; s.ok() && i < names.size(); ++i) {
    Cursor c(db, names[i]);
    s = c.Open();
    if (!s.ok()) break;
    const TableData& t = *c.table();
    const std::string table = "table '" + names[i] + "': ";
    std::vector<std::int32_t> live = t.Natural();
    if (int(live.size()) != t.LiveCount() || c.RowCount() != t.LiveCount()) return table + "row counts disagree";
    for (std::int32_t r : live) {
      if (!t.IsLive(r)) return table + "a dead row in the natural order";
      if (int(t.Row(r).size()) != t.RowSize()) return table + "a row image of the wrong size";
    }
    std::sort(live.begin(), live.end());
    if (std::adjacent_find(live.begin(), live.end()) != live.end()) return table + "a row twice in the natural order";
    for (int slot = 0; slot < int(t.header().indexes.size()); ++slot) {
      std::vector<std::int32_t> order = t.Order(slot);
      for (size_t k = 1; k < order.size(); ++k) {
        if (t.CompareKeys(slot, t.Row(order[k - 1]), t.Row(order[k])) > 0) return table + "an index order out of order";
      }
      std::sort(order.begin(), order.end());
      if (order != live) return table + "an index order that is not the live rows";
    }
    // Every order read through the cursor: each text within its field.
    for (int slot = -1; slot < int(t.header().indexes.size()); ++slot) {
      if (!c.SetOrder(slot < 0 ? std::string() : t.header().indexes[size_t(slot)].name).ok()) {
        return table + "the order cannot be chosen";
      }
      for (c.First(); !c.Eof(); c.Next()) {
        for (const FieldDefinition& f : c.table()->header().fields) {
          std::string text;
          if (!c.GetText(f.name, &text).ok()) return table + "field '" + f.name + "' unreadable";
          if (IsTextType(f.type) && text.size() > size_t(f.size) + 1) {
            return table + "field '" + f.name + "' gives " + std::to_string(text.size()) + " bytes";
          }
        }
      }
    }
  }
  if (!s.ok()) {
    *outcome = "refused: " + s.ToString();
    if (s.message().empty()) return "refused without a message";
    return {};
  }
  *outcome = "loaded " + std::to_string(names.size()) + " tables";
  return {};
}

struct ChildResult {
  bool finished = false;  // else it hung and was killed
  int status = 0;
  std::string report;
};

// Runs `body` in a child process; its text comes back through a pipe and its
// exit code is 0 when the text is a plain outcome, 3 when it is a problem.
ChildResult RunInChild(const std::function<std::string(std::string*)>& body, std::chrono::seconds limit) {
  ChildResult result;
  int fds[2];
  if (pipe(fds) != 0) return result;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    std::string outcome;
    const std::string problem = body(&outcome);
    const std::string report = (problem.empty() ? outcome : problem).substr(0, 4000);
    if (write(fds[1], report.data(), report.size()) < 0) _exit(4);
    _exit(problem.empty() ? 0 : 3);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return result;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (true) {
    const pid_t done = waitpid(pid, &result.status, WNOHANG);
    if (done == pid) {
      result.finished = true;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &result.status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) result.report.append(buffer, size_t(n));
  close(fds[0]);
  return result;
}

std::function<std::int64_t(const Layout&)> At(std::int64_t offset) {
  return [offset](const Layout&) { return offset; };
}
std::function<std::string(const Layout&)> Int(std::int32_t value) {
  return [value](const Layout&) { return Four(value); };
}
std::function<std::string(const Layout&)> Bytes(std::string bytes) {
  return [bytes](const Layout&) { return bytes; };
}

TEST(CorruptionTest, GarbageInTheStructuresIsRefusedOrLoadsConsistently) {
  testing::TempDir dir;
  const std::string base = dir.File("base.tdb");
  ASSERT_TRUE(testing::CreatePhoneDatabase(base).ok());
  {
    std::shared_ptr<Database> db;
    ASSERT_TRUE(Database::Open(base, Fast(), &db).ok());
    ASSERT_TRUE(FourPhones(db).ok());
    // Full texts and numbers without zero bytes: a row image read from the
    // wrong place meets no early terminator.
    Cursor phones(db, "telefony");
    ASSERT_TRUE(phones.Open().ok());
    ASSERT_TRUE(
        AddPhone(phones, 0x41414141, std::string(40, 'I'), std::string(40, 'N'), "600123456789", 0x42424242).ok());
    ASSERT_TRUE(
        AddPhone(phones, 0x43434343, std::string(40, 'J'), std::string(40, 'K'), "600987654321", 0x44444444).ok());
    Cursor config(db, "config");
    ASSERT_TRUE(config.Open().ok());
    ASSERT_TRUE(Post(config, {{"key", "port"}, {"value", "COM1"}}).ok());
  }
  const std::string bytes = ReadAll(base);
  Layout l;
  l.size = std::int64_t(bytes.size());
  l.telefony = GetInt32(bytes.data() + kDirectoryOffset + 8);
  l.config = GetInt32(bytes.data() + kDirectoryOffset + 12);
  l.rowCount = GetInt32(bytes.data() + l.telefony + TableHeader::kRowCountAt);
  l.recordTab = GetInt32(bytes.data() + l.telefony + TableHeader::kRecordTabAt);
  l.telIndexTab = GetInt32(bytes.data() + l.Index(0) + TableHeader::kIndexTabAt);
  for (int n = 0; n < l.rowCount; ++n) l.rowAt.push_back(GetInt32(bytes.data() + l.Item(n)));
  l.rowSize = 103;
  ASSERT_EQ(l.rowCount, 6);
  ASSERT_EQ(l.rowAt[5], l.rowAt[4] + l.rowSize) << "rows 4 and 5 lie end to end";

  const std::int32_t kMax = 0x7FFFFFFF;
  const std::vector<FlipCase> cases = {
      // File header and directory.
      {"signature", At(0), Bytes("\xFF"), Expect::kRefused},
      {"version all 0xFF", At(7), Bytes(std::string(5, '\xFF')), Expect::kRefused},
      {"table count -1", At(kDirectoryOffset), Int(-1), Expect::kRefused},
      {"table count 257", At(kDirectoryOffset), Int(257), Expect::kRefused},
      {"table count huge", At(kDirectoryOffset), Int(kMax), Expect::kRefused},
      {"table count one too many", At(kDirectoryOffset), Int(4), Expect::kRefused},
      {"table offset -1", At(kDirectoryOffset + 8), Int(-1), Expect::kRefused},
      {"table offset huge", At(kDirectoryOffset + 8), Int(kMax), Expect::kRefused},
      {"table offset 0", At(kDirectoryOffset + 8), Int(0), Expect::kRefused},
      {"table header past the end", At(kDirectoryOffset + 8),
       [](const Layout& x) { return Four(std::int32_t(x.size - 100)); }, Expect::kRefused},
      {"table offset of another table", At(kDirectoryOffset + 8),
       [](const Layout& x) { return Four(std::int32_t(x.config)); }},
      {"table offset into row data", At(kDirectoryOffset + 8),
       [](const Layout& x) { return Four(std::int32_t(x.rowAt[4])); }},
      // Table header: name, record tab, row count.
      {"table name without terminator", [](const Layout& x) { return x.telefony; }, Bytes(std::string(33, '\xFF'))},
      {"record tab -1", [](const Layout& x) { return x.telefony + TableHeader::kRecordTabAt; }, Int(-1),
       Expect::kRefused},
      {"record tab huge", [](const Layout& x) { return x.telefony + TableHeader::kRecordTabAt; }, Int(kMax),
       Expect::kRefused},
      {"record tab 0", [](const Layout& x) { return x.telefony + TableHeader::kRecordTabAt; }, Int(0),
       Expect::kRefused},
      {"record tab at the table header", [](const Layout& x) { return x.telefony + TableHeader::kRecordTabAt; },
       [](const Layout& x) { return Four(std::int32_t(x.telefony)); }},
      {"record tab one byte on", [](const Layout& x) { return x.telefony + TableHeader::kRecordTabAt; },
       [](const Layout& x) { return Four(std::int32_t(x.recordTab + 1)); }},
      {"row count -1", [](const Layout& x) { return x.telefony + TableHeader::kRowCountAt; }, Int(-1),
       Expect::kRefused},
      {"row count 0xFF000006", [](const Layout& x) { return x.telefony + TableHeader::kRowCountAt; },
       Int(std::int32_t(0xFF000006u)), Expect::kRefused},
      {"row count huge", [](const Layout& x) { return x.telefony + TableHeader::kRowCountAt; }, Int(kMax),
       Expect::kRefused},
      {"row count a million", [](const Layout& x) { return x.telefony + TableHeader::kRowCountAt; }, Int(1000000),
       Expect::kRefused},
      {"row count one too many", [](const Layout& x) { return x.telefony + TableHeader::kRowCountAt; },
       [](const Layout& x) { return Four(x.rowCount + 1); }},
      {"row count 0", [](const Layout& x) { return x.telefony + TableHeader::kRowCountAt; }, Int(0)},
      {"config row count huge", [](const Layout& x) { return x.config + TableHeader::kRowCountAt; }, Int(kMax),
       Expect::kRefused},
      // Fields.
      {"field count 0", [](const Layout& x) { return x.telefony + TableHeader::kFieldCountAt; }, Int(0),
       Expect::kRefused},
      {"field count -1", [](const Layout& x) { return x.telefony + TableHeader::kFieldCountAt; }, Int(-1),
       Expect::kRefused},
      {"field count 96", [](const Layout& x) { return x.telefony + TableHeader::kFieldCountAt; }, Int(96),
       Expect::kRefused},
      {"field count huge", [](const Layout& x) { return x.telefony + TableHeader::kFieldCountAt; }, Int(kMax),
       Expect::kRefused},
      {"field count one too many", [](const Layout& x) { return x.telefony + TableHeader::kFieldCountAt; }, Int(6),
       Expect::kRefused},
      {"field type 0xFF", [](const Layout& x) { return x.Field(1) + 33; }, Bytes("\xFF"), Expect::kRefused},
      {"text field made int32", [](const Layout& x) { return x.Field(1) + 33; }, Bytes("\x03")},
      {"text field made blob", [](const Layout& x) { return x.Field(1) + 33; }, Bytes("\x0F")},
      {"int32 field made text of size 0", [](const Layout& x) { return x.Field(0) + 33; }, Bytes("\x01"),
       Expect::kRefused},
      {"text size -1", [](const Layout& x) { return x.Field(1) + 34; }, Int(-1), Expect::kRefused},
      {"text size 0", [](const Layout& x) { return x.Field(1) + 34; }, Int(0), Expect::kRefused},
      {"text size 8193", [](const Layout& x) { return x.Field(1) + 34; }, Int(8193), Expect::kRefused},
      {"text size huge", [](const Layout& x) { return x.Field(1) + 34; }, Int(kMax), Expect::kRefused},
      {"text size 8192", [](const Layout& x) { return x.Field(1) + 34; }, Int(8192)},
      {"last text size 8192", [](const Layout& x) { return x.Field(3) + 34; }, Int(8192)},
      {"text size 1", [](const Layout& x) { return x.Field(3) + 34; }, Int(1)},
      // Indexes.
      {"index count -1", [](const Layout& x) { return x.telefony + TableHeader::kIndexCountAt; }, Int(-1),
       Expect::kRefused},
      {"index count 9", [](const Layout& x) { return x.telefony + TableHeader::kIndexCountAt; }, Int(9),
       Expect::kRefused},
      {"index count huge", [](const Layout& x) { return x.telefony + TableHeader::kIndexCountAt; }, Int(kMax),
       Expect::kRefused},
      {"index count over an unused slot", [](const Layout& x) { return x.telefony + TableHeader::kIndexCountAt; },
       Int(4)},
      {"index field -1", [](const Layout& x) { return x.Index(0) + 34; }, Int(-1), Expect::kRefused},
      {"index field -2", [](const Layout& x) { return x.Index(0) + 34; }, Int(-2), Expect::kRefused},
      {"index field past the fields", [](const Layout& x) { return x.Index(0) + 34; }, Int(5), Expect::kRefused},
      {"index field huge", [](const Layout& x) { return x.Index(0) + 34; }, Int(kMax), Expect::kRefused},
      {"index gains a second field", [](const Layout& x) { return x.Index(1) + 38; }, Int(0)},
      {"index options 0xFF", [](const Layout& x) { return x.Index(0) + 33; }, Bytes("\xFF")},
      {"index tab -1", [](const Layout& x) { return x.Index(0) + TableHeader::kIndexTabAt; }, Int(-1)},
      {"index tab huge", [](const Layout& x) { return x.Index(0) + TableHeader::kIndexTabAt; }, Int(kMax)},
      {"index tab 0", [](const Layout& x) { return x.Index(0) + TableHeader::kIndexTabAt; }, Int(0)},
      {"index tab at the table header", [](const Layout& x) { return x.Index(0) + TableHeader::kIndexTabAt; },
       [](const Layout& x) { return Four(std::int32_t(x.telefony)); }},
      {"index tab one byte on", [](const Layout& x) { return x.Index(0) + TableHeader::kIndexTabAt; },
       [](const Layout& x) { return Four(std::int32_t(x.telIndexTab + 1)); }},
      {"index head -1", [](const Layout& x) { return x.Index(1) + TableHeader::kIndexHeadAt; }, Int(-1)},
      {"index head -2", [](const Layout& x) { return x.Index(1) + TableHeader::kIndexHeadAt; }, Int(-2)},
      {"index head huge", [](const Layout& x) { return x.Index(1) + TableHeader::kIndexHeadAt; }, Int(kMax)},
      {"index head past the rows", [](const Layout& x) { return x.Index(1) + TableHeader::kIndexHeadAt; },
       [](const Layout& x) { return Four(x.rowCount); }},
      {"index item next huge", [](const Layout& x) { return IndexItemOffset(x.telIndexTab, 3) + 4; }, Int(kMax)},
      {"index item next -2", [](const Layout& x) { return IndexItemOffset(x.telIndexTab, 0) + 4; }, Int(-2)},
      {"index item pointing at itself", [](const Layout& x) { return IndexItemOffset(x.telIndexTab, 2) + 4; }, Int(2)},
      {"index item of another row", [](const Layout& x) { return IndexItemOffset(x.telIndexTab, 1); }, Int(3)},
      // Record items.
      {"row offset -1", [](const Layout& x) { return x.Item(1); }, Int(-1), Expect::kRefused},
      {"row offset huge", [](const Layout& x) { return x.Item(1); }, Int(kMax), Expect::kRefused},
      {"row offset 0", [](const Layout& x) { return x.Item(1); }, Int(0), Expect::kRefused},
      {"row past the end by a byte", [](const Layout& x) { return x.Item(1); },
       [](const Layout& x) { return Four(std::int32_t(x.size - x.rowSize + 1)); }, Expect::kRefused},
      {"row the last bytes of the file", [](const Layout& x) { return x.Item(1); },
       [](const Layout& x) { return Four(std::int32_t(x.size - x.rowSize)); }},
      {"two items with one row", [](const Layout& x) { return x.Item(1); },
       [](const Layout& x) { return Four(std::int32_t(x.rowAt[2])); }},
      {"row read across two rows", [](const Layout& x) { return x.Item(1); },
       [](const Layout& x) { return Four(std::int32_t(x.rowAt[4] + 95)); }},
      {"deleted flag 0xFF", [](const Layout& x) { return x.Item(1) + 4; }, Bytes("\xFF")},
      {"all items 0xFF", [](const Layout& x) { return x.Item(0); },
       [](const Layout& x) { return std::string(size_t(x.rowCount * kRecordItemLength), '\xFF'); }},
  };

  for (const FlipCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::int64_t at = c.at(l);
    const std::string with = c.bytes(l);
    ASSERT_LE(at + std::int64_t(with.size()), l.size);
    std::string damaged = bytes;
    damaged.replace(size_t(at), with.size(), with);
    ASSERT_NE(damaged, bytes) << "the case changes nothing";
    const std::string path = dir.File("damaged.tdb");
    WriteAll(path, damaged);

    const ChildResult r =
        RunInChild([&](std::string* outcome) { return CheckDamagedFile(path, outcome); }, std::chrono::seconds(30));
    if (!r.finished) {
      ADD_FAILURE() << "hangs";
    } else if (!WIFEXITED(r.status)) {
      ADD_FAILURE() << "crashes with signal " << WTERMSIG(r.status);
    } else if (WEXITSTATUS(r.status) != 0 && WEXITSTATUS(r.status) != 3) {
      ADD_FAILURE() << "stops with exit code " << WEXITSTATUS(r.status) << " (a sanitizer's report is above)";
    } else {
      EXPECT_EQ(WEXITSTATUS(r.status), 0) << r.report;
    }
    if (c.expect == Expect::kRefused) {
      EXPECT_EQ(r.report.rfind("refused: ", 0), 0u) << r.report;
    }
  }
}

}  // namespace
}  // namespace store
