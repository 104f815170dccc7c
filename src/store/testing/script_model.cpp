#include "store/testing/script_model.h"

#include <algorithm>
#include <iterator>
#include <sstream>

#include "store/collation.h"
#include "store/cursor.h"
#include "store/format.h"
#include "store/table.h"

namespace store::testing {

namespace {

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

std::string Show(const Row& row) {
  std::string s = "{";
  for (size_t i = 0; i < row.size(); ++i) s += (i ? "|" : "") + Windows1250ToUtf8(row[i]);
  return s + "}";
}

std::string Show(const std::string& encoded) { return Show(Decode(encoded)); }

Row CurrentRow(const Cursor& c, const TableState& t) {
  Row row;
  for (size_t i = 0; i < t.fields.size(); ++i) {
    if (t.text[i]) {
      std::string value;
      // The model's own fields: a failure reads as what a missing value is.
      static_cast<void>(c.GetText(t.fields[i], &value));
      row.push_back(value);
    } else {
      std::int64_t value = 0;
      static_cast<void>(c.GetInt(t.fields[i], &value));
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
int CompareKeys(const Collation& collation, const TableState& t, const IndexDefinition& index, const Row& a,
                const Row& b) {
  for (std::int32_t f : index.fields) {
    int c = 0;
    if (t.text[size_t(f)]) {
      c = collation.Compare(a[size_t(f)], b[size_t(f)], (index.options & kIndexCaseInsensitive) != 0);
    } else {
      const long long x = std::stoll(a[size_t(f)]), y = std::stoll(b[size_t(f)]);
      c = x < y ? -1 : (x > y ? 1 : 0);
    }
    if (c != 0) return (index.options & kIndexDescending) ? -c : c;
  }
  return 0;
}

}  // namespace

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
        const int cmp = CompareKeys(db->collation(), t, index, ordered[i - 1], ordered[i]);
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

std::string Op::Describe() const {
  static const char* const kNames[] = {"append to",   "change in",    "delete from",
                                       "upsert into", "create table", "create index on"};
  std::string text = std::string(kNames[kind]) + " " + table;
  if (!findField.empty()) text += " where " + findField + "=" + Windows1250ToUtf8(findValue);
  for (const auto& [field, value] : values) text += " " + field + ":=" + Windows1250ToUtf8(value);
  if (kind == kCreateIndex) text += " " + index;
  if (!refusal.empty()) text += " (refused)";
  return text;
}

Op AppendOp(std::string table, Values values, std::string refusal) {
  Op op;
  op.kind = Op::kAppend;
  op.table = std::move(table);
  op.values = std::move(values);
  op.refusal = std::move(refusal);
  return op;
}

Op ChangeOp(std::string table, std::string field, std::string value, Values values, std::string refusal) {
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

namespace {

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
    row =
        std::find_if(t.rows.begin(), t.rows.end(), [&](const std::string& r) { return Decode(r)[f] == op.findValue; });
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

}  // namespace

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

}  // namespace store::testing
