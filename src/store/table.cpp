// A table's rows: reading them from the file, catching up with other
// writers, and appending, changing and deleting rows in an order of writes
// that a cut cannot leave half-done. The index orders are in table_index.cpp.

#include "store/table.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "store/database.h"

namespace store {

namespace {

// Disks write 512-byte sectors whole; a write across a sector boundary can
// be cut between them.
constexpr std::int64_t kSector = 512;

// Where a changed row's new image may start so that switching the 4-byte
// offset at `itemAt` from `old` can never leave a mix of the two: when the
// offset lies across a sector boundary, the part in one of the two sectors
// must stay as it was, so only one sector really changes. Returns the
// smallest such start at or after `end` (the file's end); some padding is
// the price, only for the few rows whose item lies across a boundary.
std::int64_t PlaceForSwitch(std::int64_t itemAt, std::int32_t old, std::int64_t end) {
  const std::int64_t inFirst = kSector - itemAt % kSector;  // bytes of the offset in the first sector
  if (inFirst >= 4) return end;
  const std::int64_t low = std::int64_t(1) << (8 * inFirst);            // the first sector holds the low bytes
  if (end / low == std::int64_t(std::uint32_t(old)) / low) return end;  // the high bytes already agree
  if (inFirst == 3) return end;  // agreeing low bytes would cost megabytes: accept the rare risk
  const std::int64_t want = std::int64_t(std::uint32_t(old)) % low;
  return end + ((want - end % low) % low + low) % low;  // the low bytes agree
}

}  // namespace

int TableData::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < header_.fields.size(); ++i) {
    if (SameName(header_.fields[i].name, name)) return int(i);
  }
  return -1;
}

int TableData::IndexSlot(std::string_view name) const {
  for (size_t i = 0; i < header_.indexes.size(); ++i) {
    if (SameName(header_.indexes[i].name, name)) return int(i);
  }
  return -1;
}

Status TableData::FileFull(Database& db) {
  return Status::IOError("Database file '" + db.file().Path() + "' is full");
}

bool TableData::IsLive(std::int32_t row) const {
  return row >= 0 && row < std::int32_t(items_.size()) && !items_[size_t(row)].deleted;
}

Status TableData::LoadFrom(Database& db, const std::string& file, std::int64_t headerOffset) {
  db_ = &db;
  const std::int64_t size = std::int64_t(file.size());
  headerOffset_ = headerOffset;
  fileSize_ = UsedEndOf(file);
  headerBytes_ = file.substr(size_t(headerOffset), size_t(TableHeader::kEncodedLength));
  Status s = TableHeader::DecodeFrom(headerBytes_.data(), &header_);
  if (!s.ok()) return s;
  const std::string& name = header_.name;

  fieldOffsets_.clear();
  rowSize_ = 0;
  for (const FieldDefinition& f : header_.fields) {
    fieldOffsets_.push_back(rowSize_);
    rowSize_ += FieldWidth(f.type, f.size);
  }

  // The record tab: as many chunks as the row count needs, each inside the
  // file and after the one that links to it (the file only ever grows).
  // Only the last row may be missing, as a cut or a power loss during its
  // append can leave it: it is left out. Anything more is damage.
  repairs.clear();
  std::int32_t count = header_.rowCount;
  const std::string tooMany =
      "record tab of table '" + name + "' is damaged: its row count claims rows it does not hold";
  if (std::int64_t(count) > size) return Status::Corruption(tooMany);
  auto leaveOutLastRow = [&] {
    repairs.push_back("table '" + name + "': row " + std::to_string(count - 1) +
                      " was never completed (the file ends inside it or its item is empty); left out");
    header_.rowCount = --count;
  };
  const std::int64_t chunksNeeded = (std::int64_t(count) + kItemsPerChunk - 1) / kItemsPerChunk;
  recordChunks_.clear();
  std::int64_t chunk = header_.recordTab;
  std::int64_t previous = 0;
  for (std::int64_t i = 0; i < chunksNeeded; ++i) {
    if (chunk < kFirstTableOffset || chunk <= previous || chunk + kRecordChunkLength > size) {
      const bool onlyTheLastRow = i == chunksNeeded - 1 && (count - 1) % kItemsPerChunk == 0;
      if (!onlyTheLastRow) return Status::Corruption(tooMany);
      leaveOutLastRow();
      break;
    }
    recordChunks_.push_back(chunk);
    previous = chunk;
    chunk = GetInt32(file.data() + chunk);
  }

  items_.assign(size_t(count), RecordItem{});
  rows_.assign(size_t(count), std::string());
  natural_.clear();
  for (std::int32_t n = 0; n < count; ++n) {
    const RecordItem item =
        RecordItem::DecodeFrom(file.data() + RecordItemOffset(recordChunks_[size_t(n / kItemsPerChunk)], n));
    items_[size_t(n)] = item;
    if (item.deleted) continue;
    if (item.offset < kFirstTableOffset || std::int64_t(item.offset) + rowSize_ > size) {
      if (n != count - 1 || !repairs.empty()) {
        return Status::Corruption("row " + std::to_string(n) + " of table '" + name + "' points outside the file");
      }
      leaveOutLastRow();
      items_.pop_back();
      rows_.pop_back();
      break;
    }
    rows_[size_t(n)] = file.substr(size_t(item.offset), size_t(rowSize_));
    natural_.push_back(n);
  }

  indexes_.assign(header_.indexes.size(), IndexState{});
  for (size_t slot = 0; slot < header_.indexes.size(); ++slot) BuildOrder(int(slot), file);
  // New structures go at the hint's end: one of this table's lying past it
  // says the hint is wrong, and the file's size is the safe place instead.
  std::int64_t reaches = headerOffset_ + TableHeader::kEncodedLength;
  for (std::int64_t at : recordChunks_) reaches = std::max(reaches, at + kRecordChunkLength);
  for (const RecordItem& item : items_) {
    if (!item.deleted) reaches = std::max(reaches, std::int64_t(item.offset) + rowSize_);
  }
  for (const IndexState& state : indexes_) {
    for (std::int64_t at : state.chunks) reaches = std::max(reaches, at + kIndexChunkLength);
  }
  if (reaches > fileSize_) fileSize_ = size;
  return Status::Ok();
}

Status TableData::CatchUp(Database& db, bool* reloaded, bool deep) {
  *reloaded = false;
  std::int64_t size = 0;
  Status s = db.file().Size(&size);
  if (!s.ok()) return s;
  db.SawSize(size);
  // Every writer moves the end it appends at, so a change anywhere in the
  // file, this table or another, shows as a moved end. The end's hint and
  // the header are one read where they lie close, as the first tables' do.
  std::int64_t end = size;
  std::string header(size_t(TableHeader::kEncodedLength), '\0');
  const std::int64_t span = headerOffset_ + TableHeader::kEncodedLength - kEndHintOffset;
  if (size >= kFirstTableOffset && span <= 4 * kIndexChunkLength) {
    std::string both(size_t(span), '\0');
    s = db.file().ReadAt(kEndHintOffset, both.size(), both.data());
    if (!s.ok()) return s;
    end = UsedEnd(both.data(), size);
    header.assign(both, size_t(headerOffset_ - kEndHintOffset), header.size());
  } else {
    s = db.EndFor(size, &end);
    if (s.ok()) s = db.file().ReadAt(headerOffset_, header.size(), header.data());
    if (!s.ok()) return s;
  }
  if (end == fileSize_ && header == headerBytes_) {
    if (!deep) return Status::Ok();
    // A delete elsewhere changes neither: it only flags a record item.
    bool same = true;
    std::string chunk;
    for (size_t c = 0; same && c < recordChunks_.size(); ++c) {
      const size_t first = c * kItemsPerChunk;
      const size_t used = std::min(items_.size() - first, size_t(kItemsPerChunk));
      chunk.resize(used * kRecordItemLength);
      s = db.file().ReadAt(recordChunks_[c] + 4, chunk.size(), chunk.data());
      if (!s.ok()) return s;
      for (size_t i = 0; same && i < used; ++i) {
        const RecordItem item = RecordItem::DecodeFrom(chunk.data() + i * kRecordItemLength);
        same = item.offset == items_[first + i].offset && item.deleted == items_[first + i].deleted;
      }
    }
    if (same) return Status::Ok();
  }
  s = CheckFileSize(db.file().Path(), size);
  if (!s.ok()) return s;
  TableData fresh;
  try {
    TableHeader claimed;
    s = TableHeader::DecodeFrom(header.data(), &claimed);
    if (s.ok()) s = CheckRowClaim(db.file().Path(), claimed, size);
    if (!s.ok()) return s;
    std::string file(size_t(size), '\0');
    s = db.file().ReadAt(0, file.size(), file.data());
    if (!s.ok()) return s;
    s = fresh.LoadFrom(db, file, headerOffset_);
  } catch (const std::bad_alloc&) {
    s = OutOfMemory(db.file().Path(), header_.name);
  }
  if (!s.ok()) return s;
  Group group = std::move(group_);
  *this = std::move(fresh);
  group_ = std::move(group);
  *reloaded = true;
  return Status::Ok();
}

void TableData::Reread(Database& db) {
  fileSize_ = -1;
  bool reloaded = false;
  // The failure that made this necessary is what the caller is told; should
  // this read fail too, the unknown size makes the next operation read the
  // table afresh before it trusts anything.
  static_cast<void>(CatchUp(db, &reloaded, true));
}

Status TableData::RowStillAsRead(Database& db, std::int32_t row, bool* same) {
  *same = true;
  if (row < 0 || row >= std::int32_t(items_.size())) return Status::Ok();
  char bytes[kRecordItemLength];
  Status s = db.file().ReadAt(RecordItemOffset(recordChunks_[size_t(row / kItemsPerChunk)], row), sizeof bytes, bytes);
  if (!s.ok()) return s;
  const RecordItem item = RecordItem::DecodeFrom(bytes);
  *same = item.offset == items_[size_t(row)].offset && item.deleted == items_[size_t(row)].deleted;
  return Status::Ok();
}

Status TableData::BeginChange(Database& db, Database::Lock* lock, std::int32_t row) {
  if (db.ReadOnly()) return Status::IOError("Database file '" + db.file().Path() + "' is read-only");
  Status s = db.Acquire(LockKind::kExclusive, lock);
  if (!s.ok()) return s;
  // Another process may have written since this table was read. Appends
  // and changes grow the file; a delete only flags the row's item, so the
  // item of the row about to change is read again as well.
  bool reloaded = false;
  s = CatchUp(db, &reloaded, false);
  if (!s.ok() || reloaded || row < 0) return s;
  bool same = true;
  s = RowStillAsRead(db, row, &same);
  if (s.ok() && !same) s = CatchUp(db, &reloaded, true);
  return s;
}

// A load mends an order in memory only, and every later load would have to
// mend it again; and a chain that still links the row of an append that
// never counted would link it twice once the next append takes its number.
// So the first change after such a load writes the order whole before its
// own writes, in the store's order of writes: a new index tab at the end of
// the file, every row's item in it and the live rows chained in key order,
// with nothing pointing at it yet; a flush; then one 8-byte write of the
// tab's offset and the head in the index definition.
// The new tab is placed so that the offset's change lies within one sector;
// a cut that lands the offset without the head leaves the new chain entered
// in its middle, which a load mends like any other. The old tab stays,
// unreferenced; rewriting it in place would leave every other process that
// holds it in memory linking rows into a chain that has changed under it,
// where a grown file makes them read the table again.
Status TableData::SettleOrders(Database& db) {
  std::string tail;
  std::vector<NewTab> tabs;
  BuildIndexTabs(false, fileSize_, &tail, &tabs);
  if (tabs.empty()) return Status::Ok();
  if (fileSize_ + std::int64_t(tail.size()) >= std::int64_t(INT32_MAX)) return FileFull(db);
  Status s = db.Claim(fileSize_, std::int64_t(tail.size()));
  group_.claimedEnd = 0;  // the hint now names the end of the new tabs
  if (s.ok()) s = db.file().WriteAt(fileSize_, tail);
  if (s.ok()) s = db.Barrier();
  if (s.ok()) s = SwitchIndexTabs(db, &tabs);
  if (!s.ok()) {
    // Read the file again rather than trust what memory half-holds.
    Reread(db);
    return s;
  }
  fileSize_ += std::int64_t(tail.size());
  return Status::Ok();
}

void TableData::BuildIndexTabs(bool all, std::int64_t at, std::string* tail, std::vector<NewTab>* tabs) const {
  const std::int32_t count = header_.rowCount;
  const size_t chunkCount = size_t((std::int64_t(count) + kItemsPerChunk - 1) / kItemsPerChunk);
  for (size_t slot = 0; slot < indexes_.size(); ++slot) {
    const IndexState& state = indexes_[slot];
    // A tab too short for every row's item is damage of another kind: an
    // append refuses it, a change works around it, as before.
    if (count == 0 || (!all && (!state.unsettled || state.chunks.size() < chunkCount))) continue;
    const std::int64_t end = at + std::int64_t(tail->size());
    const std::int64_t offsetAt = headerOffset_ + TableHeader::IndexDefinitionAt(int(slot)) + TableHeader::kIndexTabAt;
    const std::int64_t tab = PlaceForSwitch(offsetAt, header_.indexes[slot].tabOffset, end);
    const std::int64_t length = std::int64_t(chunkCount) * kIndexChunkLength;
    std::vector<std::int32_t> next(size_t(count), -1);
    for (size_t k = 0; k + 1 < state.order.size(); ++k) next[size_t(state.order[k])] = state.order[k + 1];
    std::string bytes(size_t(length), '\0');
    for (size_t c = 0; c + 1 < chunkCount; ++c) {
      const std::int64_t following = tab + std::int64_t(c + 1) * kIndexChunkLength;
      PutInt32(bytes.data() + c * size_t(kIndexChunkLength), std::int32_t(following));
    }
    // Deleted rows are left out of the chain: nothing ever links to them again.
    for (std::int32_t n = 0; n < count; ++n) {
      const std::int64_t chunk = tab + std::int64_t(n / kItemsPerChunk) * kIndexChunkLength;
      IndexItem{n, next[size_t(n)]}.EncodeTo(bytes.data() + (IndexItemOffset(chunk, n) - tab));
    }
    tail->append(size_t(tab - end), '\0');
    *tail += bytes;
    tabs->push_back(NewTab{slot, tab, std::move(next)});
  }
}

Status TableData::SwitchIndexTabs(Database& db, std::vector<NewTab>* tabs) {
  const size_t chunkCount = size_t((std::int64_t(header_.rowCount) + kItemsPerChunk - 1) / kItemsPerChunk);
  for (NewTab& tab : *tabs) {
    IndexState& state = indexes_[tab.slot];
    const int slot = int(tab.slot);
    const std::int32_t head = state.order.empty() ? -1 : state.order.front();
    std::string entry(8, '\0');
    PutInt32(entry.data(), std::int32_t(tab.tab));
    PutInt32(entry.data() + 4, head);
    const std::int64_t at = TableHeader::IndexDefinitionAt(slot) + TableHeader::kIndexTabAt;
    Status s = db.file().WriteAt(headerOffset_ + at, entry);
    if (!s.ok()) return s;
    std::memcpy(headerBytes_.data() + at, entry.data(), entry.size());
    header_.indexes[size_t(slot)].tabOffset = std::int32_t(tab.tab);
    header_.indexes[size_t(slot)].head = head;
    state.chunks.clear();
    for (size_t c = 0; c < chunkCount; ++c) state.chunks.push_back(tab.tab + std::int64_t(c) * kIndexChunkLength);
    state.next = std::move(tab.next);
    if (!state.repair.empty()) {
      repairs.erase(std::remove(repairs.begin(), repairs.end(), state.repair), repairs.end());
      state.repair.clear();
    }
    state.unsettled = false;
  }
  return Status::Ok();
}

Status TableData::Change(Database& db, std::int32_t rowNumber, const std::string& row) {
  if (Replacing()) return ReplacingRefusal();
  // Rows pending in a group come first: the change's own flush and switch
  // must not count them half.
  Status s = CommitGroup(db);
  if (!s.ok()) return s;
  Database::Lock lock;
  s = BeginChange(db, &lock, rowNumber);
  if (!s.ok()) return s;
  if (!IsLive(rowNumber)) return Status::NotFound("Record not found");
  s = CheckUnique(row, rowNumber);
  if (!s.ok()) return s;
  s = SettleOrders(db);
  if (!s.ok()) return s;

  // The new image goes to the end of the file and the record item is
  // switched to it in one small write: a cut leaves the old row or the new
  // one, never a mix.
  const std::int64_t itemAt = RecordItemOffset(recordChunks_[size_t(rowNumber / kItemsPerChunk)], rowNumber);
  const std::int64_t end = PlaceForSwitch(itemAt, items_[size_t(rowNumber)].offset, fileSize_);
  s = db.Claim(fileSize_, end - fileSize_ + std::int64_t(row.size()));
  if (s.ok()) s = db.file().WriteAt(fileSize_, std::string(size_t(end - fileSize_), '\0') + row);
  if (s.ok()) s = db.Barrier();
  if (s.ok()) s = db.file().WriteAt(itemAt, Int32Bytes(std::int32_t(end)));
  if (!s.ok()) {
    Reread(db);
    return s;
  }
  fileSize_ = end + std::int64_t(row.size());
  items_[size_t(rowNumber)].offset = std::int32_t(end);
  rows_[size_t(rowNumber)] = row;

  // Then each order the change moves the row in.
  for (size_t slot = 0; s.ok() && slot < header_.indexes.size(); ++slot) {
    auto& order = indexes_[slot].order;
    const auto it = std::find(order.begin(), order.end(), rowNumber);
    const size_t old = size_t(it - order.begin());
    if (it != order.end()) order.erase(it);
    const size_t position = InsertPosition(int(slot), row);
    if (position == old) {
      order.insert(order.begin() + std::ptrdiff_t(position), rowNumber);
      continue;
    }
    s = UnlinkFromIndex(db, int(slot), rowNumber);
    if (s.ok()) s = LinkIntoIndex(db, int(slot), rowNumber, position, nullptr, 0);
    order.insert(order.begin() + std::ptrdiff_t(position), rowNumber);
  }
  return s;
}

Status TableData::Delete(Database& db, std::int32_t rowNumber) {
  if (Replacing()) return ReplacingRefusal();
  Status s = CommitGroup(db);
  if (!s.ok()) return s;
  Database::Lock lock;
  s = BeginChange(db, &lock, rowNumber);
  if (!s.ok()) return s;
  if (!IsLive(rowNumber)) return Status::NotFound("Record not found");
  s = SettleOrders(db);
  if (!s.ok()) return s;
  const std::int64_t chunk = recordChunks_[size_t(rowNumber / kItemsPerChunk)];
  s = db.file().WriteAt(RecordItemOffset(chunk, rowNumber) + 4, std::string_view("\x01", 1));
  if (!s.ok()) return s;
  items_[size_t(rowNumber)].deleted = true;
  rows_[size_t(rowNumber)].clear();
  natural_.erase(std::find(natural_.begin(), natural_.end(), rowNumber));
  for (IndexState& state : indexes_) {
    const auto it = std::find(state.order.begin(), state.order.end(), rowNumber);
    if (it != state.order.end()) state.order.erase(it);
  }
  return Status::Ok();
}

std::vector<std::string> TableData::Verify() const {
  std::vector<std::string> problems = repairs;
  const std::string& name = header_.name;
  for (std::int32_t n = 0; n < std::int32_t(items_.size()); ++n) {
    if (items_[size_t(n)].deleted) continue;
    const std::string& row = rows_[size_t(n)];
    for (size_t i = 0; i < header_.fields.size(); ++i) {
      const FieldDefinition& f = header_.fields[i];
      if (!IsTextType(f.type)) continue;
      if (row[size_t(fieldOffsets_[i] + f.size)] != '\0') {
        problems.push_back("table '" + name + "' row " + std::to_string(n) + ": text of field '" + f.name +
                           "' has no terminating zero");
      }
    }
  }
  for (size_t slot = 0; slot < header_.indexes.size(); ++slot) {
    const IndexDefinition& index = header_.indexes[slot];
    const auto& order = indexes_[slot].order;
    if (!(index.options & (kIndexUnique | kIndexPrimary))) continue;
    for (size_t i = 1; i < order.size(); ++i) {
      if (CompareKeys(int(slot), rows_[size_t(order[i - 1])], rows_[size_t(order[i])]) == 0) {
        problems.push_back("table '" + name + "' index '" + index.name + "': duplicate key '" +
                           KeyText(int(slot), rows_[size_t(order[i])]) + "'");
      }
    }
  }
  return problems;
}

}  // namespace store
