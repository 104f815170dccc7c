// The index orders of a table: how keys compare, the unique check, an
// order rebuilt from its chain when the table is read, and the chain links a
// change rewrites. The rows themselves are read and written in table.cpp.

#include "store/table.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/database.h"

namespace store {

namespace {

std::string_view TextOf(std::string_view field) {
  const size_t end = field.find('\0');
  return end == std::string_view::npos ? field : field.substr(0, end);
}

}  // namespace

int TableData::CompareKeys(int slot, std::string_view a, std::string_view b) const {
  const IndexDefinition& index = header_.indexes[size_t(slot)];
  const bool ignoreCase = index.options & kIndexCaseInsensitive;
  for (std::int32_t field : index.fields) {
    const FieldDefinition& f = header_.fields[size_t(field)];
    const size_t at = size_t(fieldOffsets_[size_t(field)]);
    const char* pa = a.data() + at;
    const char* pb = b.data() + at;
    // A text is at most its size: a missing terminator never lets the next
    // field's bytes in.
    const int c = IsTextType(f.type)
                      ? db_->collation().Compare(TextOf(std::string_view(pa, size_t(f.size))),
                                                 TextOf(std::string_view(pb, size_t(f.size))), ignoreCase)
                      : CompareFieldNumbers(f, pa, pb);
    if (c != 0) return (index.options & kIndexDescending) ? -c : c;
  }
  return 0;
}

std::string TableData::KeyText(int slot, std::string_view row) const {
  std::string text;
  for (std::int32_t field : header_.indexes[size_t(slot)].fields) {
    const FieldDefinition& f = header_.fields[size_t(field)];
    const char* p = row.data() + fieldOffsets_[size_t(field)];
    if (!text.empty()) text += ',';
    text += IsTextType(f.type) ? std::string(TextOf(std::string_view(p, size_t(f.size))))
                               : std::to_string(GetFieldNumber(f, p));
  }
  return text;
}

Status TableData::CheckUnique(const std::string& row, std::int32_t self) const {
  for (size_t slot = 0; slot < header_.indexes.size(); ++slot) {
    if (!(header_.indexes[slot].options & (kIndexUnique | kIndexPrimary))) continue;
    const int s = int(slot);
    const std::vector<std::int32_t>& order = indexes_[slot].order;
    for (size_t pos = LowerBound(s, [&](const std::string& other) { return CompareKeys(s, other, row); });
         pos < order.size() && CompareKeys(s, rows_[size_t(order[pos])], row) == 0; ++pos) {
      if (order[pos] != self) return Status::UniqueViolation("Invalid unique field value '" + KeyText(s, row) + "'");
    }
  }
  return Status::Ok();
}

size_t TableData::InsertPosition(int slot, const std::string& row) const {
  // After every equal key: rows with equal keys keep their arrival order.
  const std::vector<std::int32_t>& order = indexes_[size_t(slot)].order;
  size_t lo = 0, hi = order.size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (CompareKeys(slot, rows_[size_t(order[mid])], row) <= 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

void TableData::BuildOrder(int slot, const std::string& file) {
  IndexState& state = indexes_[size_t(slot)];
  const IndexDefinition& index = header_.indexes[size_t(slot)];
  const std::int32_t count = header_.rowCount;
  const std::int64_t size = std::int64_t(file.size());
  state.next.assign(size_t(count), -1);
  if (count == 0) return;

  // Chunks of the index tab; one beyond the row count may hold the item of a
  // row whose append was cut before it counted.
  const std::int64_t chunksNeeded = (std::int64_t(count) + kItemsPerChunk - 1) / kItemsPerChunk;
  std::int64_t chunk = index.tabOffset;
  std::int64_t previous = 0;
  for (std::int64_t i = 0; i <= chunksNeeded; ++i) {
    if (chunk < kFirstTableOffset || chunk <= previous || chunk + kIndexChunkLength > size) break;
    state.chunks.push_back(chunk);
    previous = chunk;
    chunk = GetInt32(file.data() + chunk);
  }
  auto itemOf = [&](std::int32_t row, IndexItem* item) {
    const size_t c = size_t(row / kItemsPerChunk);
    if (row < 0 || c >= state.chunks.size()) return false;
    *item = IndexItem::DecodeFrom(file.data() + IndexItemOffset(state.chunks[c], row));
    return item->row == row;
  };
  for (std::int32_t n = 0; n < count; ++n) {
    IndexItem item;
    if (itemOf(n, &item)) state.next[size_t(n)] = item.next;
  }

  // Walk the chain from the head: bounded, each row once, rows past the
  // count skipped but followed. A group of appends cut before its commit
  // leaves up to a chunk's worth of such rows, all in the tab's chunks.
  const size_t held = std::max(size_t(count), state.chunks.size() * size_t(kItemsPerChunk));
  std::vector<char> seen(held, 0);
  std::vector<std::int32_t> walked;
  bool broken = false;
  bool uncounted = false;
  std::int32_t row = index.head;
  while (row != -1) {
    IndexItem item;
    if (!itemOf(row, &item) || seen[size_t(row)]) {
      broken = true;
      break;
    }
    seen[size_t(row)] = 1;
    if (row < count) {
      if (!items_[size_t(row)].deleted) walked.push_back(row);
    } else {
      uncounted = true;
    }
    row = item.next;
  }

  // Keep what is in order; put every other live row in its place.
  std::vector<std::int32_t> misplaced;
  for (std::int32_t r : walked) {
    if (!state.order.empty() && CompareKeys(slot, rows_[size_t(state.order.back())], rows_[size_t(r)]) > 0) {
      misplaced.push_back(r);
    } else {
      state.order.push_back(r);
    }
  }
  for (std::int32_t r : natural_) {
    if (!seen[size_t(r)]) misplaced.push_back(r);
  }
  for (std::int32_t r : misplaced) {
    state.order.insert(state.order.begin() + std::ptrdiff_t(InsertPosition(slot, rows_[size_t(r)])), r);
  }
  // A chunk beyond the count belongs to an append that never counted; the
  // next append at that row makes its own and links it in its place.
  if (state.chunks.size() > size_t(chunksNeeded)) state.chunks.resize(size_t(chunksNeeded));
  if (broken || !misplaced.empty()) {
    state.repair = "index '" + index.name + "' of table '" + header_.name + "': " + (broken ? "chain broken; " : "") +
                   std::to_string(misplaced.size()) + " row(s) out of place, ordered from their keys";
    repairs.push_back(state.repair);
  }
  state.unsettled = broken || !misplaced.empty() || uncounted;
}

Status TableData::WriteNext(Database& db, int slot, std::int32_t row, std::int32_t next) {
  IndexState& state = indexes_[size_t(slot)];
  const size_t c = size_t(row / kItemsPerChunk);
  if (c >= state.chunks.size())
    return Status::Corruption("index tab of '" + header_.indexes[size_t(slot)].name + "' is short");
  // A row of the group being written is counted by nothing yet.
  const bool counted = !buffering_ || row < header_.rowCount - group_.pending;
  Status s = Put(db, IndexItemOffset(state.chunks[c], row) + 4, Int32Bytes(next), counted);
  if (s.ok() && row < std::int32_t(state.next.size())) state.next[size_t(row)] = next;
  return s;
}

Status TableData::WriteHead(Database& db, int slot, std::int32_t head) {
  const std::int64_t at = TableHeader::IndexDefinitionAt(slot) + TableHeader::kIndexHeadAt;
  Status s = Put(db, headerOffset_ + at, Int32Bytes(head), true);
  if (s.ok()) {
    header_.indexes[size_t(slot)].head = head;
    PutInt32(headerBytes_.data() + at, head);
  }
  return s;
}

Status TableData::UnlinkFromIndex(Database& db, int slot, std::int32_t row) {
  IndexState& state = indexes_[size_t(slot)];
  const std::int32_t after = state.next[size_t(row)];
  if (header_.indexes[size_t(slot)].head == row) return WriteHead(db, slot, after);
  for (size_t q = 0; q < state.next.size(); ++q) {
    if (state.next[q] == row) return WriteNext(db, slot, std::int32_t(q), after);
  }
  return Status::Ok();  // not in the chain (a mended index): nothing to unlink
}

Status TableData::LinkIntoIndex(Database& db, int slot, std::int32_t row, size_t position, std::string* chunkBytes,
                                std::int64_t chunkAt) {
  IndexState& state = indexes_[size_t(slot)];
  const bool first = position == 0;
  const std::int32_t predecessor = first ? -1 : state.order[position - 1];
  std::int32_t next = first ? header_.indexes[size_t(slot)].head : state.next[size_t(predecessor)];
  if (header_.rowCount == 0 && row == 0) next = -1;  // the very first row ends the chain

  // The row's own item before anything points at it.
  Status s;
  if (chunkBytes) {
    IndexItem{row, next}.EncodeTo(chunkBytes->data() + (IndexItemOffset(chunkAt, row) - chunkAt));
  } else {
    std::string item(size_t(kIndexItemLength), '\0');
    IndexItem{row, next}.EncodeTo(item.data());
    const size_t c = size_t(row / kItemsPerChunk);
    if (c >= state.chunks.size())
      return Status::Corruption("index tab of '" + header_.indexes[size_t(slot)].name + "' is short");
    s = Put(db, IndexItemOffset(state.chunks[c], row), item, false);
    if (!s.ok()) return s;
  }
  if (row >= std::int32_t(state.next.size())) state.next.resize(size_t(row) + 1, -1);
  state.next[size_t(row)] = next;
  if (chunkBytes) return Status::Ok();  // linked by the caller once the chunk is on disk
  return first ? WriteHead(db, slot, row) : WriteNext(db, slot, predecessor, row);
}

}  // namespace store
