// A table's appends: a row's writes in an order a cut cannot leave
// half-done, and the groups of appends an import commits together, written
// in a few large writes.

#include <algorithm>
#include <cstring>

#include "store/database.h"
#include "store/table.h"

namespace store {

Status TableData::Put(Database& db, std::int64_t at, std::string_view bytes, bool link) {
  if (!buffering_) return db.file().WriteAt(at, bytes);
  (link ? group_.links : group_.fresh).emplace_back(at, std::string(bytes));
  return Status::Ok();
}

namespace {

// Writes `writes` (in the order they were made: a later one wins where two
// overlap) as a few large writes. Writes lying close together go as one,
// with the bytes between them read from the file first and written back as
// they were (past its `size`, zeros): on a machine where every system
// call costs microseconds, a thousand rows' scattered items and links are
// otherwise thousands of calls.
Status WriteCoalesced(File& file, const std::vector<std::pair<std::int64_t, std::string>>& writes, std::int64_t size) {
  if (writes.empty()) return Status::Ok();
  constexpr std::int64_t kGap = 4096;
  Status s;
  std::vector<size_t> byStart(writes.size());
  for (size_t i = 0; i < byStart.size(); ++i) byStart[i] = i;
  std::stable_sort(byStart.begin(), byStart.end(),
                   [&](size_t a, size_t b) { return writes[a].first < writes[b].first; });
  struct Run {
    std::int64_t from, to;
    std::string image;
  };
  std::vector<Run> runs;
  for (size_t i : byStart) {
    const std::int64_t at = writes[i].first;
    const std::int64_t end = at + std::int64_t(writes[i].second.size());
    if (!runs.empty() && at <= runs.back().to + kGap) {
      runs.back().to = std::max(runs.back().to, end);
    } else {
      runs.push_back(Run{at, end, {}});
    }
  }
  for (Run& run : runs) {
    run.image.assign(size_t(run.to - run.from), '\0');
    const std::int64_t readable = std::min(run.to, size) - run.from;
    if (readable > 0) s = file.ReadAt(run.from, size_t(readable), run.image.data());
    if (!s.ok()) return s;
  }
  for (const auto& [at, bytes] : writes) {
    const auto run =
        std::upper_bound(runs.begin(), runs.end(), at, [](std::int64_t v, const Run& r) { return v < r.from; }) - 1;
    std::memcpy(run->image.data() + (at - run->from), bytes.data(), bytes.size());
  }
  for (const Run& run : runs) {
    s = file.WriteAt(run.from, run.image);
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

}  // namespace

// Everything the pending rows wrote that nothing counted points at goes
// first; only then the links from counted rows, chunks and heads into them,
// each of which leaves every chain whole on its own: a cut anywhere in
// between leaves the file as the last commit left it.
Status TableData::WriteGroupWrites(Database& db) {
  // Every link lies inside the file as it was: one size serves both.
  std::int64_t size = 0;
  Status s = db.file().Size(&size);
  if (s.ok()) s = WriteCoalesced(db.file(), group_.fresh, size);
  if (s.ok()) s = WriteCoalesced(db.file(), group_.links, size);
  group_.fresh.clear();
  group_.links.clear();
  return s;
}

std::int32_t TableData::NumberAutoIncrements(std::string* row) const {
  std::int32_t last = header_.lastAutoInc;
  for (size_t i = 0; i < header_.fields.size(); ++i) {
    if (header_.fields[i].type != FieldType::kAutoInc) continue;
    char* p = row->data() + fieldOffsets_[i];
    const std::int32_t given = GetInt32(p);
    if (given == 0) {
      PutInt32(p, ++last);
    } else if (given > last) {
      last = given;
    }
  }
  return last;
}

Status TableData::Append(Database& db, const std::string& rowImage, std::int32_t* newRow) {
  if (Replacing()) return StageAppend(rowImage, newRow);
  // Inside a group the row's writes wait for the group's commit; a row that
  // fails takes its own back out, whatever it had put.
  buffering_ = group_.depth > 0;
  struct EndOfRow {
    TableData* table;
    size_t fresh, links;
    bool whole = false;
    ~EndOfRow() {
      table->buffering_ = false;
      if (whole) return;
      table->group_.fresh.resize(std::min(fresh, table->group_.fresh.size()));
      table->group_.links.resize(std::min(links, table->group_.links.size()));
    }
  } endOfRow{this, group_.fresh.size(), group_.links.size()};
  // Inside a group with rows pending, the lock is held and nobody else has
  // written since: the file is as this table last left it.
  Database::Lock lock;
  Status s;
  if (!group_.lock.held()) {
    s = BeginChange(db, &lock, -1);
    if (!s.ok()) return s;
  }
  s = CheckUnique(rowImage, -1);
  if (!s.ok() && !group_.lock.held()) {
    // The clashing row may have been deleted elsewhere: look again before refusing.
    bool reloaded = false;
    Status again = CatchUp(db, &reloaded, true);
    if (!again.ok()) return again;
    if (reloaded) s = CheckUnique(rowImage, -1);
  }
  if (!s.ok()) return s;

  std::string row = rowImage;
  const std::int32_t lastAutoInc = NumberAutoIncrements(&row);

  const std::int32_t n = header_.rowCount;
  const bool newChunk = n % kItemsPerChunk == 0;
  const size_t chunksHeld = size_t((std::int64_t(n) + kItemsPerChunk - 1) / kItemsPerChunk);
  for (const IndexState& state : indexes_) {
    // Orders still read from a damaged index tab, but nothing is linked into it.
    if (state.chunks.size() < chunksHeld) {
      return Status::Corruption("index tab of table '" + header_.name + "' is damaged; new rows cannot be indexed");
    }
  }
  s = SettleOrders(db);
  if (!s.ok()) return s;
  const std::int64_t end = fileSize_;
  if (end >= std::int64_t(INT32_MAX) - kRecordChunkLength - rowSize_ - kMaxIndexes * kIndexChunkLength) {
    return FileFull(db);
  }

  // Everything new goes to the end of the file in one write: the record-tab
  // chunk when one starts, the row, and the index-tab chunks when they start.
  // Nothing points at it yet, so a cut here leaves the table as it was.
  std::string tail;
  std::int64_t recordChunkAt = 0;
  if (newChunk) {
    recordChunkAt = end;
    tail.assign(size_t(kRecordChunkLength), '\0');
    RecordItem{std::int32_t(end + kRecordChunkLength), false}.EncodeTo(tail.data() + 4);
  }
  const std::int64_t rowAt = end + std::int64_t(tail.size());
  tail += row;
  rows_.push_back(row);  // the keys compare against it below
  items_.push_back(RecordItem{std::int32_t(rowAt), false});

  std::vector<size_t> positions(header_.indexes.size());
  std::vector<std::int64_t> indexChunkAt(header_.indexes.size(), 0);
  for (size_t slot = 0; slot < header_.indexes.size(); ++slot) {
    positions[slot] = InsertPosition(int(slot), row);
    if (!newChunk) continue;
    indexChunkAt[slot] = end + std::int64_t(tail.size());
    std::string chunk(size_t(kIndexChunkLength), '\0');
    s = LinkIntoIndex(db, int(slot), n, positions[slot], &chunk, indexChunkAt[slot]);
    if (!s.ok()) break;
    tail += chunk;
  }
  if (s.ok()) {
    const std::int64_t needed = std::int64_t(tail.size());
    if (group_.depth == 0) {
      s = db.Claim(end, needed);
    } else if (end + needed > group_.claimedEnd) {
      // A group names an end well past its next rows, so that their appends
      // do not each write the hint; the commit names the true end.
      constexpr std::int64_t kGroupRoom = 256 * 1024;
      const std::int64_t room = std::max(needed, kGroupRoom);
      s = db.Claim(end, room, true, false);
      if (s.ok()) group_.claimedEnd = end + room;
    }
  }
  if (s.ok()) s = Put(db, end, tail, false);

  // Then the pointers into it: the record item or chunk link, the index
  // items and chunk links, the predecessors in each order.
  if (s.ok()) {
    if (!newChunk) {
      std::string item(size_t(kRecordItemLength), '\0');
      items_.back().EncodeTo(item.data());
      s = Put(db, RecordItemOffset(recordChunks_.back(), n), item, false);
    } else if (n > 0) {
      s = Put(db, recordChunks_.back(), Int32Bytes(std::int32_t(recordChunkAt)), true);
    }
  }
  for (size_t slot = 0; s.ok() && slot < header_.indexes.size(); ++slot) {
    IndexState& state = indexes_[slot];
    if (!newChunk) {
      s = LinkIntoIndex(db, int(slot), n, positions[slot], nullptr, 0);
      continue;
    }
    if (n > 0) {
      s = Put(db, state.chunks.back(), Int32Bytes(std::int32_t(indexChunkAt[slot])), true);
    } else {
      // The first row: the index tab starts here, recorded with the head.
      const std::int64_t at = TableHeader::IndexDefinitionAt(int(slot)) + TableHeader::kIndexTabAt;
      s = Put(db, headerOffset_ + at, Int32Bytes(std::int32_t(indexChunkAt[slot])), true);
      if (s.ok()) {
        header_.indexes[slot].tabOffset = std::int32_t(indexChunkAt[slot]);
        PutInt32(headerBytes_.data() + at, std::int32_t(indexChunkAt[slot]));
      }
    }
    if (!s.ok()) break;
    state.chunks.push_back(indexChunkAt[slot]);
    const size_t position = positions[slot];
    s = position == 0 ? WriteHead(db, int(slot), n) : WriteNext(db, int(slot), state.order[position - 1], n);
  }

  if (s.ok()) {
    if (newChunk) recordChunks_.push_back(recordChunkAt);
    fileSize_ = end + std::int64_t(tail.size());
    natural_.push_back(n);
    for (size_t slot = 0; slot < header_.indexes.size(); ++slot) {
      auto& order = indexes_[slot].order;
      order.insert(order.begin() + std::ptrdiff_t(positions[slot]), n);
    }
    if (n == 0) header_.recordTab = std::int32_t(recordChunkAt);
    header_.rowCount = n + 1;
    header_.lastAutoInc = lastAutoInc;
    if (group_.depth == 0) {
      s = WriteCommit(db);
    } else {
      if (lock.held()) group_.lock = std::move(lock);
      endOfRow.whole = true;
      ++group_.pending;
      if (group_.pending >= group_.rowsPerCommit) s = CommitGroup(db);
    }
    if (s.ok()) {
      *newRow = n;
      return Status::Ok();
    }
  } else {
    rows_.pop_back();
    items_.pop_back();
    // The rows of the group before this one are whole in the file: count
    // them before reading the table again. The row's own failure is what
    // the caller is told; should this commit fail too, the read below finds
    // what the file holds.
    if (group_.pending > 0) static_cast<void>(CommitGroup(db));
  }
  // The file holds the table as it was (or with the group's earlier rows);
  // read it again rather than trust what memory half-holds.
  group_.pending = 0;
  group_.claimedEnd = 0;
  group_.fresh.clear();
  group_.links.clear();
  group_.lock = Database::Lock();
  Reread(db);
  return s;
}

// Last, and only once all it points at is on disk: the header's row count.
// Until this write the rows do not exist for any reader. The auto-increment
// value goes first and on its own: a value used up by a row that never
// counted is a harmless gap, a row counted with a stale value would hand its
// key out twice.
Status TableData::WriteCommit(Database& db) {
  Status s;
  if (header_.lastAutoInc != GetInt32(headerBytes_.data() + TableHeader::kLastAutoIncAt)) {
    s = db.file().WriteAt(headerOffset_ + TableHeader::kLastAutoIncAt, Int32Bytes(header_.lastAutoInc));
    if (s.ok()) PutInt32(headerBytes_.data() + TableHeader::kLastAutoIncAt, header_.lastAutoInc);
  }
  if (s.ok()) s = db.Barrier();
  if (!s.ok()) return s;
  std::string commit(8, '\0');
  PutInt32(commit.data(), header_.recordTab);
  PutInt32(commit.data() + 4, header_.rowCount);
  s = db.file().WriteAt(headerOffset_ + TableHeader::kRecordTabAt, commit);
  if (s.ok()) std::memcpy(headerBytes_.data() + TableHeader::kRecordTabAt, commit.data(), commit.size());
  return s;
}

void TableData::BeginGroup(int rowsPerCommit) {
  if (group_.depth++ == 0) {
    // A reader follows the links of rows past the count within the index
    // tab's chunks only, one chunk beyond the count at most.
    group_.rowsPerCommit = std::clamp(rowsPerCommit, 1, int(kItemsPerChunk));
    group_.committed = false;
  }
}

Status TableData::CommitGroup(Database& db) {
  if (group_.pending == 0) return Status::Ok();
  // The hint names the group's true end before its rows reach the file.
  Status s;
  if (group_.claimedEnd != 0) s = db.Claim(fileSize_, 0, true, false);
  group_.claimedEnd = 0;
  if (s.ok()) s = WriteGroupWrites(db);
  if (s.ok()) s = WriteCommit(db);
  if (s.ok()) group_.committed = true;
  group_.pending = 0;
  group_.lock = Database::Lock();
  if (!s.ok()) {
    Reread(db);
  }
  return s;
}

void TableData::HandOverGroup(TableData* fresh) {
  fresh->group_ = std::move(group_);
  group_ = Group();
}

Status TableData::EndGroup(Database& db) {
  if (group_.depth == 0) return Status::Ok();
  if (--group_.depth > 0) return Status::Ok();
  Status s = CommitGroup(db);
  // The last commit is on its way only; the command that made the group
  // ends with its rows on disk.
  if (s.ok() && group_.committed) s = db.Barrier();
  group_.committed = false;
  return s;
}

}  // namespace store
