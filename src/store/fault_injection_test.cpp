// Every write of a scripted session on the configurator's database is failed,
// and in another run cut at a sector boundary; the file is then reopened from
// disk and must hold the rows of the operations that finished, plus at most
// the whole of the one that was interrupted, with every index order sound.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "phonelist/schema.h"
#include "store/collation.h"
#include "store/cursor.h"
#include "store/database.h"
#include "store/format.h"
#include "store/table.h"
#include "store/testing/fault_file.h"
#include "store/testing/temp_dir.h"

namespace store {
namespace {

using testing::Fault;
using testing::FaultFile;

std::shared_ptr<const Collation> Polish() {
  static const std::shared_ptr<const Collation> collation = MakeLocaleCollation("pl_PL");
  return collation;
}

// Texts are written in UTF-8 here and kept in the file's code page.
std::string Cp(std::string_view utf8) { return Utf8ToWindows1250(utf8); }

// ---------------------------------------------------------------------------
// The picture of a database that runs are compared by: per table its field
// and index names and its live rows as a multiset of field texts.

using Row = std::vector<std::string>;

// A row as one string, so that a table of a thousand rows sorts and compares
// cheaply; texts never hold the separator.
constexpr char kSeparator = '\x1f';

std::string Encode(const Row& row) {
  std::string s;
  for (size_t i = 0; i < row.size(); ++i) {
    if (i) s += kSeparator;
    s += row[i];
  }
  return s;
}

Row Decode(const std::string& s) {
  Row row(1);
  for (char c : s) {
    if (c == kSeparator) {
      row.emplace_back();
    } else {
      row.back() += c;
    }
  }
  return row;
}

struct TableState {
  std::vector<std::string> fields;
  std::vector<bool> text;
  std::vector<std::string> indexes;
  std::vector<std::string> rows;  // encoded, kept sorted
  int autoInc = -1;
  std::int32_t lastAutoInc = 0;

  int Field(std::string_view name) const {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (fields[i] == name) return int(i);
    }
    return -1;
  }
};
using DbState = std::map<std::string, TableState>;

bool SameContent(const DbState& a, const DbState& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [name, t] : a) {
    const auto it = b.find(name);
    if (it == b.end() || t.fields != it->second.fields || t.indexes != it->second.indexes ||
        t.rows != it->second.rows) {
      return false;
    }
  }
  return true;
}

std::string Show(const Row& row) {
  std::string s = "{";
  for (size_t i = 0; i < row.size(); ++i) s += (i ? "|" : "") + Windows1250ToUtf8(row[i]);
  return s + "}";
}

std::string Show(const std::string& encoded) { return Show(Decode(encoded)); }

// What `found` holds that `expected` does not, and the other way round.
std::string Difference(const DbState& found, const DbState& expected) {
  std::ostringstream out;
  for (const auto& [name, t] : expected) {
    if (!found.count(name)) out << " table " << name << " missing;";
  }
  for (const auto& [name, t] : found) {
    const auto it = expected.find(name);
    if (it == expected.end()) {
      out << " table " << name << " should not exist;";
      continue;
    }
    if (t.indexes != it->second.indexes) out << " " << name << " has " << t.indexes.size() << " index(es);";
    std::vector<std::string> extra, lost;
    std::set_difference(t.rows.begin(), t.rows.end(), it->second.rows.begin(), it->second.rows.end(),
                        std::back_inserter(extra));
    std::set_difference(it->second.rows.begin(), it->second.rows.end(), t.rows.begin(), t.rows.end(),
                        std::back_inserter(lost));
    for (const std::string& r : extra) out << " " << name << " has " << Show(r) << ";";
    for (const std::string& r : lost) out << " " << name << " lacks " << Show(r) << ";";
  }
  return out.str();
}

Row CurrentRow(const Cursor& c, const TableState& t) {
  Row row;
  for (size_t i = 0; i < t.fields.size(); ++i) {
    if (t.text[i]) {
      std::string value;
      c.GetText(t.fields[i], &value);
      row.push_back(value);
    } else {
      std::int64_t value = 0;
      c.GetInt(t.fields[i], &value);
      row.push_back(std::to_string(value));
    }
  }
  return row;
}

// The rows of the cursor's current order, and their row numbers.
std::vector<Row> RowsInOrder(Cursor& c, const TableState& t, std::vector<std::int32_t>* numbers) {
  std::vector<Row> rows;
  numbers->clear();
  for (c.First(); !c.Eof(); c.Next()) {
    rows.push_back(CurrentRow(c, t));
    numbers->push_back(c.RowNumber());
  }
  return rows;
}

// <0, 0, >0 of two rows under an index, worked out from the field texts with
// the collation the database was opened with.
int CompareKeys(const TableState& t, const IndexDefinition& index, const Row& a, const Row& b) {
  for (std::int32_t f : index.fields) {
    int c = 0;
    if (t.text[size_t(f)]) {
      c = Polish()->Compare(a[size_t(f)], b[size_t(f)], (index.options & kIndexCaseInsensitive) != 0);
    } else {
      const long long x = std::stoll(a[size_t(f)]), y = std::stoll(b[size_t(f)]);
      c = x < y ? -1 : (x > y ? 1 : 0);
    }
    if (c != 0) return (index.options & kIndexDescending) ? -c : c;
  }
  return 0;
}

// Reads every table the file lists through cursors, checks each index order
// against the rows (sorted, exactly the live rows, no duplicate where unique)
// and runs the store's own full check. Load failures come back as the status.
Status ReadState(const std::shared_ptr<Database>& db, DbState* out, std::vector<std::string>* problems) {
  std::vector<std::string> names;
  Status s = db->TableNames(&names);
  if (!s.ok()) return s;
  out->clear();
  for (const std::string& name : names) {
    Cursor c(db, name);
    s = c.Open();
    if (!s.ok()) return Status::Corruption("table '" + name + "' does not load: " + s.ToString());
    const TableData& data = *c.table();
    const TableHeader& header = data.header();
    TableState t;
    for (size_t i = 0; i < header.fields.size(); ++i) {
      t.fields.push_back(header.fields[i].name);
      t.text.push_back(IsTextType(header.fields[i].type));
      if (header.fields[i].type == FieldType::kAutoInc) t.autoInc = int(i);
    }
    t.lastAutoInc = header.lastAutoInc;
    std::vector<std::int32_t> live;
    for (const Row& row : RowsInOrder(c, t, &live)) t.rows.push_back(Encode(row));
    std::sort(t.rows.begin(), t.rows.end());
    std::sort(live.begin(), live.end());

    for (const IndexDefinition& index : header.indexes) {
      t.indexes.push_back(index.name);
      s = c.SetOrder(index.name);
      if (!s.ok()) return s;
      std::vector<std::int32_t> members;
      const std::vector<Row> ordered = RowsInOrder(c, t, &members);
      const std::string where = "index " + index.name + " of " + name + ": ";
      for (size_t i = 1; i < ordered.size(); ++i) {
        const int cmp = CompareKeys(t, index, ordered[i - 1], ordered[i]);
        if (cmp > 0) problems->push_back(where + Show(ordered[i]) + " after " + Show(ordered[i - 1]));
        if (cmp == 0 && (index.options & (kIndexUnique | kIndexPrimary))) {
          problems->push_back(where + "duplicate key " + Show(ordered[i]));
        }
      }
      // The rows were read through their numbers, so the same numbers are
      // the same rows.
      std::sort(members.begin(), members.end());
      if (members != live) {
        problems->push_back(where + "does not hold exactly the live rows (" + std::to_string(ordered.size()) +
                            " rows, the table has " + std::to_string(t.rows.size()) + ")");
      }
    }
    std::vector<std::string> verify = data.Verify();
    for (const std::string& problem : verify) {
      if (std::find(data.repairs.begin(), data.repairs.end(), problem) == data.repairs.end()) {
        problems->push_back("Verify: " + problem);
      }
    }
    (*out)[name] = std::move(t);
  }
  return Status::Ok();
}

// ---------------------------------------------------------------------------
// The script: operations as data, run through cursors and applied to the
// picture the same way.

struct Op {
  enum Kind { kAppend, kChange, kDelete, kUpsert, kCreateTable, kCreateIndex };
  Kind kind = kAppend;
  std::string table;
  std::vector<std::pair<std::string, std::string>> values;  // field, text
  std::string findField, findValue;                         // the row of a change, delete or upsert
  std::vector<FieldSpec> fields;                            // kCreateTable
  std::string index;                                        // kCreateIndex
  std::uint8_t indexOptions = 0;
  std::vector<std::string> indexFields;
  std::string refusal;  // the store's message when the operation must be refused

  std::string Describe() const {
    static const char* const kNames[] = {"append to", "change in", "delete from", "upsert into", "create table",
                                         "create index on"};
    std::string text = std::string(kNames[kind]) + " " + table;
    if (!findField.empty()) text += " where " + findField + "=" + Windows1250ToUtf8(findValue);
    for (const auto& [field, value] : values) text += " " + field + ":=" + Windows1250ToUtf8(value);
    if (kind == kCreateIndex) text += " " + index;
    if (!refusal.empty()) text += " (refused)";
    return text;
  }
};

using Values = std::vector<std::pair<std::string, std::string>>;

Op AppendOp(std::string table, Values values, std::string refusal = {}) {
  Op op;
  op.kind = Op::kAppend;
  op.table = std::move(table);
  op.values = std::move(values);
  op.refusal = std::move(refusal);
  return op;
}

Op ChangeOp(std::string table, std::string field, std::string value, Values values, std::string refusal = {}) {
  Op op = AppendOp(std::move(table), std::move(values), std::move(refusal));
  op.kind = Op::kChange;
  op.findField = std::move(field);
  op.findValue = std::move(value);
  return op;
}

Op DeleteOp(std::string table, std::string field, std::string value) {
  Op op = ChangeOp(std::move(table), std::move(field), std::move(value), {});
  op.kind = Op::kDelete;
  return op;
}

Op UpsertOp(std::string key, std::string value) {
  Op op = ChangeOp("config", "key", key, {{"key", key}, {"value", std::move(value)}});
  op.kind = Op::kUpsert;
  return op;
}

Op CreateTableOp(std::string table, std::vector<FieldSpec> fields) {
  Op op;
  op.kind = Op::kCreateTable;
  op.table = std::move(table);
  op.fields = std::move(fields);
  return op;
}

Op CreateIndexOp(std::string table, std::string index, std::uint8_t options, std::vector<std::string> fields) {
  Op op;
  op.kind = Op::kCreateIndex;
  op.table = std::move(table);
  op.index = std::move(index);
  op.indexOptions = options;
  op.indexFields = std::move(fields);
  return op;
}

void Apply(const Op& op, DbState* db) {
  if (op.kind == Op::kCreateTable) {
    TableState t;
    for (const FieldSpec& f : op.fields) {
      t.fields.push_back(f.name);
      t.text.push_back(IsTextType(f.type));
      if (f.type == FieldType::kAutoInc) {
        t.autoInc = int(t.fields.size()) - 1;
        t.indexes.push_back(f.name);  // the store gives an auto-increment field its primary index
      }
    }
    (*db)[op.table] = t;
    return;
  }
  TableState& t = db->at(op.table);
  if (op.kind == Op::kCreateIndex) {
    t.indexes.push_back(op.index);
    return;
  }
  auto row = t.rows.end();
  if (!op.findField.empty()) {
    const size_t f = size_t(t.Field(op.findField));
    row = std::find_if(t.rows.begin(), t.rows.end(),
                       [&](const std::string& r) { return Decode(r)[f] == op.findValue; });
  }
  if (!op.findField.empty() && op.kind != Op::kUpsert && row == t.rows.end()) return;  // shows as a difference
  const bool found = row != t.rows.end();
  Row fresh;
  if (found) {
    fresh = Decode(*row);
    t.rows.erase(row);
    if (op.kind == Op::kDelete) return;
  } else {
    for (bool text : t.text) fresh.push_back(text ? "" : "0");
  }
  for (const auto& [field, value] : op.values) fresh[size_t(t.Field(field))] = value;
  const bool appended = op.kind == Op::kAppend || (op.kind == Op::kUpsert && !found);
  if (appended && t.autoInc >= 0 && fresh[size_t(t.autoInc)] == "0") {
    fresh[size_t(t.autoInc)] = std::to_string(++t.lastAutoInc);
  }
  const std::string encoded = Encode(fresh);
  t.rows.insert(std::upper_bound(t.rows.begin(), t.rows.end(), encoded), encoded);
}

// Runs operations the way the configurator does: one cursor per table, kept
// open across operations.
class Runner {
 public:
  explicit Runner(std::shared_ptr<Database> db) : db_(std::move(db)) {}

  Status Run(const Op& op) {
    if (op.kind == Op::kCreateTable) return db_->CreateTable(op.table, op.fields);
    if (op.kind == Op::kCreateIndex) return db_->CreateIndex(op.table, op.index, op.indexOptions, op.indexFields);
    auto& slot = cursors_[op.table];
    if (!slot) {
      slot = std::make_unique<Cursor>(db_, op.table);
      Status s = slot->Open();
      if (!s.ok()) {
        slot.reset();
        return s;
      }
    }
    Cursor& c = *slot;
    Status s;
    bool found = false;
    if (!op.findField.empty()) {
      s = c.Find(op.findField, {op.findValue}, {}, &found);
      if (s.ok() && !found && op.kind != Op::kUpsert) s = Status::NotFound("the script's row is missing");
    }
    if (s.ok() && op.kind == Op::kDelete) return c.Delete();
    if (s.ok()) s = (op.kind == Op::kAppend || (op.kind == Op::kUpsert && !found)) ? c.Append() : c.Edit();
    for (const auto& [field, value] : op.values) {
      if (s.ok()) s = c.SetText(field, value);
    }
    if (s.ok()) s = c.Post();
    if (!s.ok()) c.Cancel();
    return s;
  }

 private:
  std::shared_ptr<Database> db_;
  std::map<std::string, std::unique_ptr<Cursor>> cursors_;
};

struct Outcome {
  size_t completed = 0;  // operations that gave what they should
  Status failure;        // of the first one that did not
  DbState before;        // after the completed ones
  DbState after;         // and the interrupted one applied in full
};

// Stops at the first operation that does not give what it should.
Outcome RunScript(const std::shared_ptr<Database>& db, const std::vector<Op>& ops, const DbState& start) {
  Outcome out;
  out.before = start;
  Runner runner(db);
  for (; out.completed < ops.size(); ++out.completed) {
    const Op& op = ops[out.completed];
    const Status s = runner.Run(op);
    const bool expected = op.refusal.empty() ? s.ok() : (!s.ok() && s.message() == op.refusal);
    if (!expected) {
      out.failure = s.ok() ? Status::InvalidArgument("accepted, not refused") : s;
      out.after = out.before;
      if (op.refusal.empty()) Apply(op, &out.after);
      return out;
    }
    if (op.refusal.empty()) Apply(op, &out.before);
  }
  out.after = out.before;
  return out;
}

Database::Options ScriptOptions() {
  Database::Options options;
  options.collation = Polish();
  options.sync = SyncMode::kBarrier;
  return options;
}

// For opening the file afterwards; writes made here need no flush to be
// seen by the next open.
Database::Options ReaderOptions() {
  Database::Options options;
  options.collation = Polish();
  options.sync = SyncMode::kNone;
  return options;
}

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
    {"1", "Jan", "Kowalski", "600100001"},       {"2", "Anna", "Nowak", "600100050"},
    {"3", "Łukasz", "Żak", "600100020"},         {"4", "Zofia", "Ćwik", "600100090"},
    {"5", "Ewa", "Ślęzak", "600100010"},         {"6", "Piotr", "Adamski", "600100070"},
    {"7", "Ścibor", "Łęcki", "600100040"},       {"8", "Celina", "Zieliński", "600100030"},
    {"9", "Adam", "Cichy", "600100080"},         {"10", "Żaneta", "Ostrowska", "600100060"},
    {"11", "Bożena", "Kowalska", "600100015"},   {"12", "Olgierd", "Świątek", "600100025"},
    {"13", "Ignacy", "Dąbrowski", "600100095"},  {"14", "Halina", "Lis", "600100005"},
    {"15", "Roman", "Nowak", "600100055"},       {"16", "Łucja", "Wróbel", "600100045"},
    {"17", "Kamil", "Źródło", "600100035"},      {"18", "Dorota", "Bąk", "600100065"},
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
    ops.push_back(AppendOp("telefony", {{"ID", p.id}, {"Imie", Cp(p.imie)}, {"Nazwisko", Cp(p.nazwisko)},
                                        {"Tel", p.tel}, {"ST", std::to_string(i % 3)}}));
    if (duplicateAfter.count(i)) {
      const std::string& tel = duplicateAfter.at(i);
      ops.push_back(AppendOp("telefony", {{"ID", "99"}, {"Imie", "Adam"}, {"Nazwisko", "Duplikat"}, {"Tel", tel}},
                             Refused(tel)));
    }
  }
  // Changes that move rows in the orders: the torn row first.
  ops.push_back(ChangeOp("telefony", "Tel", kPhones[kTornPhoneRow].tel,
                         {{"Nazwisko", "Abacki"}, {"Tel", "600100099"}}));
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

  ops.push_back(CreateTableOp("zdarzenia", {FieldSpec{"Kod", FieldType::kInt32, 0}, FieldSpec{"Opis", FieldType::kText, 20}}));
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

std::int64_t FileSize(const std::string& path) { return std::int64_t(std::filesystem::file_size(path)); }

// A table of one text field of a size chosen so that its header, record tab
// and one row end the file at `residue` modulo the sector size.
Status PadTo(const std::shared_ptr<Database>& db, const std::string& path, const std::string& name,
             std::int64_t residue) {
  const std::int64_t end = FileSize(path);
  const std::int64_t fixed = TableHeader::kEncodedLength + kRecordChunkLength + 1;
  std::int64_t size = ((residue - end - fixed) % testing::kSectorSize + testing::kSectorSize) % testing::kSectorSize;
  if (size == 0) size = testing::kSectorSize;
  Status s = db->CreateTable(name, {FieldSpec{"Tekst", FieldType::kText, std::int32_t(size)}});
  Cursor c(db, name);
  if (s.ok()) s = c.Open();
  if (s.ok()) s = c.Append();
  if (s.ok()) s = c.SetText("Tekst", "x");
  if (s.ok()) s = c.Post();
  if (s.ok() && FileSize(path) % testing::kSectorSize != residue) s = Status::InvalidArgument(name + " missed its mark");
  return s;
}

void Build(Fixture* fx) {
  auto fail = [&](const std::string& what, const Status& s) {
    fx->error = what + ": " + s.ToString();
    return false;
  };
  auto make = [&]() -> bool {
    fx->pristine = fx->dir.File("pristine.tdb");
    Status s = CreateConfiguratorDatabase(fx->pristine);
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
         testing::kSectorSize) % testing::kSectorSize;
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

struct CutCase {
  std::int64_t offset;
  std::size_t length;
  std::size_t kept;  // bytes a cut leaves
};

TEST(FaultFileTest, CutLeavesTheWritesFirstSectorAndNothingAfter) {
  const CutCase cases[] = {
      {0, 12, 0},        // one sector: all or nothing
      {500, 12, 0},      // ends on the boundary: still one sector
      {500, 13, 12},     // one byte over
      {1023, 4, 1},      // a 4-byte number across a boundary
      {1024, 4096, 512}, // starts on a boundary: its first sector
      {1025, 600, 511},  //
      {100, 5000, 412},  // many sectors: only the first part
  };
  testing::TempDir dir;
  for (const CutCase& c : cases) {
    SCOPED_TRACE("write of " + std::to_string(c.length) + " at " + std::to_string(c.offset));
    const std::string path = dir.File("cut.bin");
    std::unique_ptr<File> os;
    ASSERT_TRUE(OpenOsFile(path, {true, false}, &os).ok());
    const std::string base(8192, '.');
    ASSERT_TRUE(os->WriteAt(0, base).ok());
    os.reset();

    std::unique_ptr<FaultFile> file;
    ASSERT_TRUE(FaultFile::Open(path, {}, &file).ok());
    file->Arm(Fault::kCut, 2);
    EXPECT_TRUE(file->WriteAt(0, "A").ok());
    EXPECT_FALSE(file->fired());
    const std::string data(c.length, 'B');
    EXPECT_FALSE(file->WriteAt(c.offset, data).ok());
    EXPECT_TRUE(file->fired());
    EXPECT_TRUE(file->dead());
    EXPECT_FALSE(file->WriteAt(8000, "C").ok()) << "a write after the cut";
    EXPECT_FALSE(file->Sync().ok()) << "a flush after the cut";
    EXPECT_EQ(file->writes(), 3);
    EXPECT_EQ(file->syncs(), 1);
    file.reset();

    std::string expected = base;
    expected[0] = 'A';
    expected.replace(size_t(c.offset), c.kept, c.kept, 'B');
    std::string onDisk(expected.size(), '\0');
    ASSERT_TRUE(OpenOsFile(path, {}, &os).ok());
    std::int64_t size = 0;
    ASSERT_TRUE(os->Size(&size).ok());
    EXPECT_EQ(size, 8192);
    ASSERT_TRUE(os->ReadAt(0, onDisk.size(), onDisk.data()).ok());
    EXPECT_EQ(onDisk, expected);
  }
}

TEST(FaultFileTest, FailedWriteLeavesNothingAndLaterWritesGoThrough) {
  testing::TempDir dir;
  const std::string path = dir.File("fail.bin");
  std::unique_ptr<File> os;
  ASSERT_TRUE(OpenOsFile(path, {true, false}, &os).ok());
  ASSERT_TRUE(os->WriteAt(0, std::string(1024, '.')).ok());
  os.reset();

  std::unique_ptr<FaultFile> file;
  ASSERT_TRUE(FaultFile::Open(path, {}, &file).ok());
  file->Arm(Fault::kFail, 1);
  const Status s = file->WriteAt(10, "xxxx");
  EXPECT_EQ(s.code(), Status::Code::kIOError);
  EXPECT_TRUE(file->fired());
  EXPECT_FALSE(file->dead());
  EXPECT_TRUE(file->WriteAt(20, "yy").ok());
  EXPECT_TRUE(file->Sync().ok());
  char bytes[24];
  ASSERT_TRUE(file->ReadAt(0, sizeof bytes, bytes).ok());
  EXPECT_EQ(std::string(bytes, sizeof bytes), std::string(20, '.') + "yy..");
}

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

// Opens the file as the next start of the program would and compares it with
// the states either side of the interrupted operation.
void CheckReopened(const std::string& path, const Outcome& outcome, DbState* matched, std::vector<std::string>* problems) {
  std::shared_ptr<Database> db;
  Status s = Database::Open(path, ReaderOptions(), &db);
  if (!s.ok()) {
    problems->push_back("the file does not open: " + s.ToString());
    return;
  }
  DbState found;
  s = ReadState(db, &found, problems);
  if (!s.ok()) {
    problems->push_back(s.ToString());
    return;
  }
  if (SameContent(found, outcome.before)) {
    *matched = outcome.before;
  } else if (SameContent(found, outcome.after)) {
    *matched = outcome.after;
  } else {
    problems->push_back("neither before nor after the operation; against before:" + Difference(found, outcome.before) +
                        " against after:" + Difference(found, outcome.after));
    return;
  }
  // An append that never counted may have used up an auto-increment value:
  // a gap is fine, handing a value out twice is not.
  for (auto& [name, table] : *matched) {
    const auto it = found.find(name);
    if (it == found.end()) continue;
    if (it->second.lastAutoInc < table.lastAutoInc) {
      problems->push_back("table '" + name + "': the auto-increment value went back from " +
                          std::to_string(table.lastAutoInc) + " to " + std::to_string(it->second.lastAutoInc));
    }
    table.lastAutoInc = it->second.lastAutoInc;
  }
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
                         [](const ::testing::TestParamInfo<Fault>& info) {
                           return info.param == Fault::kFail ? std::string("Fail") : std::string("Cut");
                         });

}  // namespace
}  // namespace store
