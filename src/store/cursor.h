#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/database.h"
#include "store/status.h"
#include "store/table.h"

namespace store {

// A table open for browsing and editing: a current row, an order (natural
// or an index's), and a state. Texts are the file's code-page bytes.
class Cursor {
 public:
  enum class State { kBrowse, kInsert, kEdit };

  struct FindOptions {
    bool prefix = false;
    bool ignoreCase = false;
  };

  Cursor(std::shared_ptr<Database> db, std::string table);
  ~Cursor();

  // Opens in the order chosen last (natural when none), first row current.
  Status Open();
  // Drops the rows; the chosen order is kept for the next open.
  void Close();
  bool IsOpen() const { return table_ != nullptr; }

  int RowCount() const;
  void First();
  void Next();
  bool Eof() const { return eof_; }
  // 1-based position of the current row in the current order; 0 when empty.
  int Position() const;
  // The current row's number in the file; -1 when there is none.
  std::int32_t RowNumber() const;

  Status Append();
  Status Edit();
  Status Post();
  void Cancel();
  Status Delete();
  State state() const { return state_; }
  // Posts a pending row that was written to since it became pending and
  // drops one that was not: what moving away from a row does.
  Status Settle();

  // Field access by name, without regard to case.
  Status GetText(std::string_view field, std::string* out) const;
  Status GetInt(std::string_view field, std::int64_t* out) const;
  Status GetBool(std::string_view field, bool* out) const;
  Status SetText(std::string_view field, std::string_view value);
  Status SetInt(std::string_view field, std::int64_t value);
  // Convenience for callers that know the field exists.
  std::string Text(std::string_view field) const;
  std::int64_t Int(std::string_view field) const;

  // Reads of the stored row at a 1-based position in the current order,
  // without moving: what a grid needs to paint one row. Empty or 0 when the
  // position or the field does not exist.
  std::string TextAt(int position, std::string_view field) const;
  std::int64_t IntAt(int position, std::string_view field) const;
  // Makes the row at a 1-based position current, settling a pending row first.
  Status MoveTo(int position);

  // `fields` is one name or several separated by ";"; `values` one value or
  // one per field. Settles a pending row first. Moves to the match and
  // returns true, or stays and returns false.
  Status Find(std::string_view fields, const std::vector<std::string>& values, FindOptions options, bool* found);

  // Orders by the named index; empty or unknown gives the natural order.
  Status SetOrder(std::string_view indexName);
  const std::string& OrderName() const { return orderName_; }

  // Reads the table again and keeps the current row where it can.
  Status Refresh();

  // Rows posted between the two are committed in groups of `rowsPerCommit`
  // (see TableData::BeginGroup): a flush per group instead of per row, and
  // the last row durable when the group ends. Closing the cursor ends it too.
  Status BeginAppendGroup(int rowsPerCommit);
  Status EndAppendGroup();

  // Every row replaced by the rows posted in between, in one commit (see
  // TableData::BeginReplace). EndReplace(false), or closing the cursor,
  // leaves the table as the file holds it: the old rows.
  Status BeginReplace();
  Status EndReplace(bool keep);

  // Hooks: a new row was started (after Append); the state changed; the rows
  // or the current row changed (for views, held back while suspended).
  std::function<void(Cursor&)> onNewRow;
  std::function<void(State)> onStateChange;
  std::function<void()> onDataChange;
  void DisableControls();
  void EnableControls();
  bool ControlsDisabled() const { return disabled_ > 0; }

  const TableData* table() const { return table_.get(); }

 private:
  // Ends every group still open, committing its pending rows.
  void EndGroups();
  const std::vector<std::int32_t>& CurrentOrder() const;
  Status FieldAt(std::string_view name, int* index) const;
  const std::string* CurrentImage() const;
  const std::string* ImageAt(int position) const;
  std::string TextOf(const std::string& image, int field) const;
  std::int64_t IntOf(const std::string& image, int field) const;
  void SetState(State state);
  void DataChanged();
  void MoveToRow(std::int32_t row);
  Status Reopen(std::int32_t keepRow);

  std::shared_ptr<Database> db_;
  std::string tableName_;
  std::unique_ptr<TableData> table_;
  std::string orderName_;
  int orderSlot_ = -1;
  size_t pos_ = 0;
  bool eof_ = true;
  State state_ = State::kBrowse;
  std::string pending_;
  std::int32_t editing_ = -1;
  bool modified_ = false;
  bool inHook_ = false;
  int disabled_ = 0;
  bool changedWhileDisabled_ = false;
};

// A bulk command's appends through one cursor as groups, for the life of a
// scope. Finish() tells how the last commit went; without it the destructor
// commits what is pending all the same (a command that throws keeps the rows
// it had posted).
class AppendGroup {
 public:
  static constexpr int kDefaultRowsPerCommit = 1024;

  explicit AppendGroup(Cursor& cursor, int rowsPerCommit = kDefaultRowsPerCommit);
  ~AppendGroup();
  AppendGroup(const AppendGroup&) = delete;
  AppendGroup& operator=(const AppendGroup&) = delete;

  Status Finish();

 private:
  Cursor& cursor_;
  bool open_ = false;
};

// A bulk command's replacement of every row, for the life of a scope:
// Commit() writes it; leaving the scope without it (a cancel, a throw)
// keeps the old rows.
class Replacement {
 public:
  explicit Replacement(Cursor& cursor) : cursor_(cursor) {}
  ~Replacement();
  Replacement(const Replacement&) = delete;
  Replacement& operator=(const Replacement&) = delete;

  Status Begin();
  Status Commit();

 private:
  Cursor& cursor_;
  bool open_ = false;
};

}  // namespace store
