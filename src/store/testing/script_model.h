#pragma once

// A scripted session on a database and the picture of the database it must
// leave: operations as data, run through cursors the way the configurator
// runs them and applied to the picture the same way, and a reader that checks
// every index order of a file against its rows.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/database.h"
#include "store/status.h"

namespace store::testing {

// ---------------------------------------------------------------------------
// The picture of a database that runs are compared by: per table its field
// and index names and its live rows as a multiset of field texts.

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

bool SameContent(const DbState& a, const DbState& b);

// What `found` holds that `expected` does not, and the other way round.
std::string Difference(const DbState& found, const DbState& expected);

// Reads every table the file lists through cursors, checks each index order
// against the rows (sorted, exactly the live rows, no duplicate where unique)
// and runs the store's own full check. Load failures come back as the status.
Status ReadState(const std::shared_ptr<Database>& db, DbState* out, std::vector<std::string>* problems);

// ---------------------------------------------------------------------------
// The script.

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

  std::string Describe() const;
};

using Values = std::vector<std::pair<std::string, std::string>>;

Op AppendOp(std::string table, Values values, std::string refusal = {});
Op ChangeOp(std::string table, std::string field, std::string value, Values values, std::string refusal = {});
Op DeleteOp(std::string table, std::string field, std::string value);
// Changes the row of `key` in the table `config`, or appends one when there
// is none.
Op UpsertOp(std::string key, std::string value);
Op CreateTableOp(std::string table, std::vector<FieldSpec> fields);
Op CreateIndexOp(std::string table, std::string index, std::uint8_t options, std::vector<std::string> fields);

struct Outcome {
  size_t completed = 0;  // operations that gave what they should
  Status failure;        // of the first one that did not
  DbState before;        // after the completed ones
  DbState after;         // and the interrupted one applied in full
};

// Runs `ops` from the picture `start`, one cursor per table kept open across
// operations; stops at the first operation that does not give what it should.
Outcome RunScript(const std::shared_ptr<Database>& db, const std::vector<Op>& ops, const DbState& start);

}  // namespace store::testing
