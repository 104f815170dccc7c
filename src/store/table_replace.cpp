// Every row of a table replaced in one commit. The format flags deleted
// rows one byte at a time, so retiring the old rows and counting the new
// ones cannot be a single write in the record tab the file has; it can be
// in a new one. The new rows, a record tab holding every row's item (the
// old rows flagged, the new ones pointing at their images) and an index
// tab per index go to the end of the file, where nothing points; after a
// flush each index is switched to its new tab, and then the header's
// 8-byte commit switches the table to the new record tab and row count at
// once. A cut between the index switches and the commit leaves the old
// rows with chains that hold only rows not counted yet, which a load
// orders from the keys and the next change writes whole, as after any cut
// change; after the commit every chain is in order.

#include <algorithm>
#include <cstring>

#include "store/database.h"
#include "store/table.h"

namespace store {

Status TableData::ReplacingRefusal() {
  return Status::InvalidArgument("Cannot change a row while the table's rows are being replaced");
}

Status TableData::BeginReplace(Database& db) {
  if (Replacing() || InGroup()) return ReplacingRefusal();
  Database::Lock lock;
  Status s = BeginChange(db, &lock, -1);
  if (!s.ok()) return s;
  firstNew_ = header_.rowCount;
  for (std::int32_t row : natural_) {
    items_[size_t(row)].deleted = true;
    rows_[size_t(row)].clear();
  }
  natural_.clear();
  for (IndexState& state : indexes_) state.order.clear();
  replace_ = std::move(lock);
  return Status::Ok();
}

Status TableData::StageAppend(const std::string& image, std::int32_t* newRow) {
  Status s = CheckUnique(image, -1);
  if (!s.ok()) return s;
  std::string row = image;
  const std::int32_t lastAutoInc = NumberAutoIncrements(&row);
  const std::int32_t n = header_.rowCount;
  std::vector<size_t> positions(indexes_.size());
  for (size_t slot = 0; slot < indexes_.size(); ++slot) positions[slot] = InsertPosition(int(slot), row);
  rows_.push_back(std::move(row));
  items_.push_back(RecordItem{0, false});
  natural_.push_back(n);
  for (size_t slot = 0; slot < indexes_.size(); ++slot) {
    auto& order = indexes_[slot].order;
    order.insert(order.begin() + std::ptrdiff_t(positions[slot]), n);
  }
  header_.rowCount = n + 1;
  header_.lastAutoInc = lastAutoInc;
  *newRow = n;
  return Status::Ok();
}

Status TableData::EndReplace(Database& db, bool keep) {
  if (!Replacing()) return Status::Ok();
  // Released when this returns, whatever became of the commit.
  const Database::Lock lock = std::move(replace_);
  replace_ = Database::Lock();
  if (!keep) {
    Reread(db);
    return Status::Ok();
  }
  // Another table of this file may have grown meanwhile through this very
  // process, which the change lock does not keep out: write past it.
  std::int64_t end = 0;
  Status s = db.End(&end);
  if (!s.ok()) {
    Reread(db);
    return s;
  }
  end = std::max(end, fileSize_);

  const std::int32_t count = header_.rowCount;
  if (count == 0) return Status::Ok();  // nothing was there and nothing came
  std::string tail;
  for (std::int32_t n = firstNew_; n < count; ++n) {
    items_[size_t(n)].offset = std::int32_t(end + std::int64_t(tail.size()));
    tail += rows_[size_t(n)];
  }
  const size_t chunkCount = size_t((std::int64_t(count) + kItemsPerChunk - 1) / kItemsPerChunk);
  const std::int64_t recordTab = end + std::int64_t(tail.size());
  std::string tab(chunkCount * size_t(kRecordChunkLength), '\0');
  std::vector<std::int64_t> chunks;
  for (size_t c = 0; c < chunkCount; ++c) {
    chunks.push_back(recordTab + std::int64_t(c) * kRecordChunkLength);
    if (c + 1 < chunkCount) PutInt32(tab.data() + c * size_t(kRecordChunkLength), std::int32_t(chunks.back() + kRecordChunkLength));
  }
  for (std::int32_t n = 0; n < count; ++n) {
    items_[size_t(n)].EncodeTo(tab.data() + (RecordItemOffset(chunks[size_t(n / kItemsPerChunk)], n) - recordTab));
  }
  tail += tab;
  std::vector<NewTab> tabs;
  BuildIndexTabs(true, end, &tail, &tabs);

  if (end + std::int64_t(tail.size()) >= std::int64_t(INT32_MAX)) s = FileFull(db);
  if (s.ok()) s = db.Claim(end, std::int64_t(tail.size()));
  if (s.ok()) s = db.file().WriteAt(end, tail);
  if (s.ok()) s = db.Barrier();
  if (s.ok()) s = SwitchIndexTabs(db, &tabs);
  header_.recordTab = std::int32_t(recordTab);
  if (s.ok()) s = WriteCommit(db);
  // The command ends with its change on disk.
  if (s.ok()) s = db.Barrier();
  if (!s.ok()) {
    Reread(db);
    return s;
  }
  recordChunks_ = std::move(chunks);
  fileSize_ = end + std::int64_t(tail.size());
  return Status::Ok();
}

}  // namespace store
