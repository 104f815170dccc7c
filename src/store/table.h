#pragma once

#include <cstdint>
#include <utility>
#include <string>
#include <string_view>
#include <vector>

#include "store/database.h"
#include "store/format.h"
#include "store/status.h"

namespace store {

// One table as read from the file: its header, every row's bytes, the natural
// order and each index order. Changes go through here so the file and this
// picture of it move together.
class TableData {
 public:
  // What a load had to mend in memory: index chains that missed live rows or
  // held them out of order (a cut during a change can leave either).
  std::vector<std::string> repairs;

  const TableHeader& header() const { return header_; }
  std::int64_t headerOffset() const { return headerOffset_; }
  int RowSize() const { return rowSize_; }
  int FieldOffset(int field) const { return fieldOffsets_[size_t(field)]; }
  int FieldIndex(std::string_view name) const;  // -1 when missing
  int IndexSlot(std::string_view name) const;   // -1 when missing

  bool IsLive(std::int32_t row) const;
  const std::string& Row(std::int32_t row) const { return rows_[size_t(row)]; }
  const std::vector<std::int32_t>& Natural() const { return natural_; }
  const std::vector<std::int32_t>& Order(int slot) const { return indexes_[size_t(slot)].order; }
  int LiveCount() const { return int(natural_.size()); }

  // Compares the keys of two row images under an index.
  int CompareKeys(int slot, std::string_view a, std::string_view b) const;
  // The first position in an index order whose row compares >= key (by
  // `compare`, which gets a row image).
  template <typename Compare>
  size_t LowerBound(int slot, Compare compare) const;

  // Writes; each takes the change lock, catches up with the file first and
  // leaves the file valid at every step. `row` is a full row image.
  Status Append(Database& db, const std::string& row, std::int32_t* newRow);
  Status Change(Database& db, std::int32_t rowNumber, const std::string& row);
  Status Delete(Database& db, std::int32_t rowNumber);

  // Appends between BeginGroup and EndGroup are committed together: each
  // writes its row and links as a single append does, but the flush and the
  // header's row count wait until `rowsPerCommit` rows are pending, or the
  // group ends. The file then holds whole groups only, whatever cuts it; the
  // change lock is held while rows are pending, so no other writer sees
  // them. EndGroup commits the rest and flushes once more, so the last row
  // is durable when it returns. Groups nest; the outermost end counts.
  void BeginGroup(int rowsPerCommit);
  Status EndGroup(Database& db);
  // Commits the pending rows now (a flush, then the row count).
  Status CommitGroup(Database& db);
  int PendingRows() const { return group_.pending; }
  bool InGroup() const { return group_.depth > 0; }
  // Lets `fresh`, the same table read again once the pending rows are
  // committed, go on with the group.
  void HandOverGroup(TableData* fresh);

  // Every row replaced at once (an import that empties the list first):
  // between BeginReplace and EndReplace the live rows are set aside in
  // memory and appends are only staged, unique among themselves. EndReplace
  // with `keep` writes the staged rows and retires the old ones in a single
  // commit, so a reader, a kill or a full disk finds either the old rows or
  // the new ones, never a mix and never neither; without it the table is
  // as the file holds it. The change lock is held all the while.
  Status BeginReplace(Database& db);
  Status EndReplace(Database& db, bool keep);
  bool Replacing() const { return replace_.held(); }

  // Reads the table again when the file has changed since it was read;
  // `deep` also compares every record item, which a delete elsewhere changes.
  Status CatchUp(Database& db, bool* reloaded, bool deep);
  // After a failed write: the table read again from the file rather than
  // trusted as memory half-holds it.
  void Reread(Database& db);

  // Values of a row's key under an index, joined by "," (for messages).
  std::string KeyText(int slot, std::string_view row) const;
  // The unique check: Ok, or the store's refusal naming the key.
  Status CheckUnique(const std::string& row, std::int32_t self) const;

  // Structural problems a full check finds beyond those a load refuses.
  std::vector<std::string> Verify() const;

 private:
  friend class Database;

  struct IndexState {
    std::vector<std::int64_t> chunks;  // index-tab chunk offsets in chain order
    std::vector<std::int32_t> next;    // next row per row number, as in the file
    std::vector<std::int32_t> order;   // live rows in index order
    // The chain in the file is not this order: a load mended it (`repair`
    // says how), or it still links the row of an append that never counted,
    // whose number the next append takes. The next write settles it.
    bool unsettled = false;
    std::string repair;
  };

  struct Group {
    int depth = 0;
    int rowsPerCommit = 0;
    int pending = 0;              // rows appended, not yet counted in the file
    bool committed = false;       // a commit was written since the group began
    Database::Lock lock;          // held while rows are pending
    std::int64_t claimedEnd = 0;  // the end the file's hint names while rows are pending
    // The pending rows' writes, in the order they were made: those nothing
    // counted points at yet (the rows, their items and the links among them)
    // and those that link them into what the file already counts.
    std::vector<std::pair<std::int64_t, std::string>> fresh, links;
  };

  // A new index tab for one slot, written but not yet switched to.
  struct NewTab {
    size_t slot;
    std::int64_t tab;
    std::vector<std::int32_t> next;
  };
  // Appends to `tail`, which goes into the file at `at`, a tab per index
  // holding every row's item and the live rows chained in key order: for
  // every index when `all`, else for the unsettled ones.
  void BuildIndexTabs(bool all, std::int64_t at, std::string* tail, std::vector<NewTab>* tabs) const;
  // Points each index at its new tab (one 8-byte write each) and takes it
  // as this table's.
  Status SwitchIndexTabs(Database& db, std::vector<NewTab>* tabs);
  static Status FileFull(Database& db);
  static Status ReplacingRefusal();
  // Numbers a new row's auto-increment fields left 0; returns the last
  // value given.
  std::int32_t NumberAutoIncrements(std::string* row) const;
  Status StageAppend(const std::string& image, std::int32_t* newRow);

  // A write of an append. Within a group it waits in the group's writes;
  // `link` says it changes something the file already counts.
  Status Put(Database& db, std::int64_t at, std::string_view bytes, bool link);
  // Writes the group's waiting writes: the fresh ones, then the links, each
  // set coalesced into a few large writes.
  Status WriteGroupWrites(Database& db);

  // The header's auto-increment value and then, after the barrier, its
  // record-tab offset and row count, from header_: what makes rows exist.
  Status WriteCommit(Database& db);
  // Takes the change lock and catches up with the file, and with the item of
  // `row` when a row is about to change (-1 for an append).
  Status BeginChange(Database& db, Database::Lock* lock, std::int32_t row);
  Status RowStillAsRead(Database& db, std::int32_t row, bool* same);
  // Writes each unsettled chain whole, as a new index tab (see table.cpp).
  Status SettleOrders(Database& db);
  Status LoadFrom(Database& db, const std::string& file, std::int64_t headerOffset);
  void BuildOrder(int slot, const std::string& file);
  size_t InsertPosition(int slot, const std::string& row) const;
  Status LinkIntoIndex(Database& db, int slot, std::int32_t row, size_t position, std::string* chunkBytes,
                       std::int64_t chunkAt);
  Status UnlinkFromIndex(Database& db, int slot, std::int32_t row);
  Status WriteNext(Database& db, int slot, std::int32_t row, std::int32_t next);
  Status WriteHead(Database& db, int slot, std::int32_t head);

  // Set while an append of a group runs: its writes wait (see Put).
  bool buffering_ = false;

  const Database* db_ = nullptr;
  TableHeader header_;
  std::string headerBytes_;
  std::int64_t headerOffset_ = 0;
  std::int64_t fileSize_ = 0;
  int rowSize_ = 0;
  std::vector<int> fieldOffsets_;
  std::vector<std::int64_t> recordChunks_;
  std::vector<RecordItem> items_;
  std::vector<std::string> rows_;
  std::vector<std::int32_t> natural_;
  std::vector<IndexState> indexes_;
  Group group_;
  // Held while every row is being replaced; the staged rows are those from
  // `firstNew` on.
  Database::Lock replace_;
  std::int32_t firstNew_ = 0;
};

template <typename Compare>
size_t TableData::LowerBound(int slot, Compare compare) const {
  const std::vector<std::int32_t>& order = indexes_[size_t(slot)].order;
  size_t lo = 0, hi = order.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (compare(rows_[size_t(order[mid])]) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace store
