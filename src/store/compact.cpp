#include "store/compact.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "store/format.h"
#include "store/table.h"

namespace store {

namespace {

// Disks write 512-byte sectors whole (see FORMAT.md, "Order of writes").
constexpr std::int64_t kSector = 512;
// The commit of an append: record-tab offset, row count, auto-increment value.
constexpr std::int64_t kCommitLength = 12;

// One table of the copy and where its parts go: the header (after a few zero
// bytes when its commit would lie across a sector boundary), the record tab,
// the rows one after the other, then one index tab per index.
struct TablePlan {
  std::unique_ptr<TableData> table;
  std::string header;  // the file's own header bytes, the moved parts patched
  std::int64_t start = 0;
  std::int64_t headerAt = 0;
  std::int64_t recordTabAt = 0;
  std::int64_t rowsAt = 0;
  std::vector<std::int64_t> indexTabAt;
  std::int64_t end = 0;
};

struct Layout {
  std::string fixed;  // file header, reserved block, options, table directory
  std::vector<TablePlan> tables;
  std::int64_t size = 0;
};

std::int64_t ChunksFor(std::int64_t rows) { return (rows + kItemsPerChunk - 1) / kItemsPerChunk; }

// The copy's row number of every row of the file: live rows keep their
// order and close up over the deleted ones.
std::vector<std::int32_t> Renumbering(const TableData& table) {
  std::vector<std::int32_t> renumbered(size_t(table.header().rowCount), -1);
  std::int32_t next = 0;
  for (std::int32_t row : table.Natural()) renumbered[size_t(row)] = next++;
  return renumbered;
}

Status PlanCopy(Database& db, Layout* out) {
  std::vector<std::string> names;
  Status s = db.TableNames(&names);
  if (!s.ok()) return s;
  out->fixed.assign(size_t(kFirstTableOffset), '\0');
  s = db.file().ReadAt(0, out->fixed.size(), out->fixed.data());
  if (!s.ok()) return s;
  // The copy holds nothing past its last structure: the old file's end
  // would only be disbelieved there.
  std::fill_n(out->fixed.begin() + kEndHintOffset, kEndHintLength, '\0');

  std::int64_t at = kFirstTableOffset;
  out->tables.clear();
  for (size_t i = 0; i < names.size(); ++i) {
    // Tables are found by name: a second one of the same name could not be read to be copied.
    for (size_t k = 0; k < i; ++k) {
      if (SameName(names[k], names[i])) {
        return Status::Corruption("table '" + names[i] + "' appears twice in the table directory");
      }
    }
    TablePlan plan;
    s = db.LoadTable(names[i], &plan.table);
    if (!s.ok()) return s;
    const TableData& table = *plan.table;
    const TableHeader& h = table.header();
    // Blob data lives outside the rows, where only their descriptors point.
    for (const FieldDefinition& f : h.fields) {
      if (IsBlobType(f.type)) {
        return Status::InvalidArgument("table '" + h.name + "' has the blob field '" + f.name +
                                       "', whose data compacting does not move");
      }
    }
    plan.header.assign(size_t(TableHeader::kEncodedLength), '\0');
    s = db.file().ReadAt(table.headerOffset(), plan.header.size(), plan.header.data());
    if (!s.ok()) return s;

    // The same rule a new table is placed by: the commit of a later append
    // must lie within one sector.
    plan.start = at;
    const std::int64_t commitAt = (at + TableHeader::kRecordTabAt) % kSector;
    plan.headerAt = at + (commitAt > kSector - kCommitLength ? kSector - commitAt : 0);
    at = plan.headerAt + TableHeader::kEncodedLength;

    const std::int64_t count = table.LiveCount();
    const std::int64_t chunks = ChunksFor(count);
    if (count > 0) {
      plan.recordTabAt = at;
      at += chunks * kRecordChunkLength;
      plan.rowsAt = at;
      at += count * table.RowSize();
    }
    for (size_t slot = 0; slot < h.indexes.size(); ++slot) {
      // An empty table's index tab is where a new index's would be: at the
      // file's end when it was made, until the first row.
      plan.indexTabAt.push_back(at);
      if (count > 0) at += chunks * kIndexChunkLength;
    }
    plan.end = at;

    char* header = plan.header.data();
    PutInt32(header + TableHeader::kRecordTabAt, std::int32_t(plan.recordTabAt));
    PutInt32(header + TableHeader::kRowCountAt, std::int32_t(count));
    const std::vector<std::int32_t> renumbered = Renumbering(table);
    for (size_t slot = 0; slot < h.indexes.size(); ++slot) {
      const std::vector<std::int32_t>& order = table.Order(int(slot));
      const std::int64_t definition = TableHeader::IndexDefinitionAt(int(slot));
      PutInt32(header + definition + TableHeader::kIndexTabAt, std::int32_t(plan.indexTabAt[slot]));
      // A new index's head is 0 until its first row.
      PutInt32(header + definition + TableHeader::kIndexHeadAt, order.empty() ? 0 : renumbered[size_t(order.front())]);
    }
    PutInt32(out->fixed.data() + kDirectoryOffset + 8 + 4 * std::int64_t(i), std::int32_t(plan.headerAt));
    out->tables.push_back(std::move(plan));
  }
  if (at >= std::int64_t(INT32_MAX)) return Status::IOError("Database file '" + db.file().Path() + "' is full");
  out->size = at;
  return Status::Ok();
}

// The bytes of one table in the copy, from its start to its end.
std::string TableBytes(const TablePlan& plan) {
  const TableData& table = *plan.table;
  std::string bytes(size_t(plan.end - plan.start), '\0');
  const auto at = [&](std::int64_t offset) { return bytes.data() + (offset - plan.start); };  // by file offset
  std::memcpy(at(plan.headerAt), plan.header.data(), plan.header.size());
  const std::int32_t count = table.LiveCount();
  if (count == 0) return bytes;
  const std::int64_t chunks = ChunksFor(count);
  const std::int64_t rowSize = table.RowSize();

  for (std::int64_t c = 0; c + 1 < chunks; ++c) {
    PutInt32(at(plan.recordTabAt + c * kRecordChunkLength),
             std::int32_t(plan.recordTabAt + (c + 1) * kRecordChunkLength));
  }
  for (std::int32_t n = 0; n < count; ++n) {
    const std::int64_t chunk = plan.recordTabAt + (n / kItemsPerChunk) * std::int64_t(kRecordChunkLength);
    const std::int64_t rowAt = plan.rowsAt + n * rowSize;
    RecordItem{std::int32_t(rowAt), false}.EncodeTo(at(RecordItemOffset(chunk, n)));
    const std::string& row = table.Row(table.Natural()[size_t(n)]);
    std::memcpy(at(rowAt), row.data(), row.size());
  }

  const std::vector<std::int32_t> renumbered = Renumbering(table);
  for (size_t slot = 0; slot < plan.indexTabAt.size(); ++slot) {
    const std::int64_t tab = plan.indexTabAt[slot];
    for (std::int64_t c = 0; c + 1 < chunks; ++c) {
      PutInt32(at(tab + c * kIndexChunkLength), std::int32_t(tab + (c + 1) * kIndexChunkLength));
    }
    const std::vector<std::int32_t>& order = table.Order(int(slot));
    for (size_t k = 0; k < order.size(); ++k) {
      const std::int32_t n = renumbered[size_t(order[k])];
      const std::int32_t next = k + 1 < order.size() ? renumbered[size_t(order[k + 1])] : -1;
      const std::int64_t chunk = tab + (n / kItemsPerChunk) * std::int64_t(kIndexChunkLength);
      IndexItem{n, next}.EncodeTo(at(IndexItemOffset(chunk, n)));
    }
  }
  return bytes;
}

Status WriteCopy(const Layout& layout, File& copy) {
  Status s = copy.WriteAt(0, layout.fixed);
  for (size_t i = 0; s.ok() && i < layout.tables.size(); ++i) {
    s = copy.WriteAt(layout.tables[i].start, TableBytes(layout.tables[i]));
  }
  if (s.ok()) s = copy.Sync();
  return s;
}

bool SameDefinitions(const TableHeader& a, const TableHeader& b) {
  if (a.name != b.name || a.lastAutoInc != b.lastAutoInc || a.fields.size() != b.fields.size() ||
      a.indexes.size() != b.indexes.size()) {
    return false;
  }
  for (size_t i = 0; i < a.fields.size(); ++i) {
    const FieldDefinition& x = a.fields[i];
    const FieldDefinition& y = b.fields[i];
    if (x.name != y.name || x.type != y.type || x.size != y.size) return false;
  }
  for (size_t i = 0; i < a.indexes.size(); ++i) {
    const IndexDefinition& x = a.indexes[i];
    const IndexDefinition& y = b.indexes[i];
    if (x.name != y.name || x.options != y.options || x.fields != y.fields) return false;
  }
  return true;
}

bool SameRows(const TableData& a, const std::vector<std::int32_t>& orderA, const TableData& b,
              const std::vector<std::int32_t>& orderB) {
  if (orderA.size() != orderB.size()) return false;
  for (size_t k = 0; k < orderA.size(); ++k) {
    if (a.Row(orderA[k]) != b.Row(orderB[k])) return false;
  }
  return true;
}

// The copy read back as any reader reads it: every table with the file's
// definitions, its rows in the file's order and each index order the same,
// and nothing for a load to mend.
Status CheckCopy(const Layout& layout, Database& copy) {
  std::vector<std::string> names;
  Status s = copy.TableNames(&names);
  if (!s.ok()) return s;
  const std::string differs = "the compacted copy '" + copy.file().Path() + "' does not read back as the file";
  if (names.size() != layout.tables.size()) return Status::Corruption(differs + ": its tables differ");
  for (size_t i = 0; i < names.size(); ++i) {
    const TableData& original = *layout.tables[i].table;
    std::unique_ptr<TableData> read;
    s = copy.LoadTable(names[i], &read);
    if (!s.ok()) return Status::Corruption(differs + ": " + s.message());
    bool same = read->repairs.empty() && SameDefinitions(original.header(), read->header()) &&
                SameRows(original, original.Natural(), *read, read->Natural());
    for (size_t slot = 0; same && slot < original.header().indexes.size(); ++slot) {
      same = SameRows(original, original.Order(int(slot)), *read, read->Order(int(slot)));
    }
    if (!same) return Status::Corruption(differs + " in table '" + names[i] + "'");
  }
  return Status::Ok();
}

// Makes the rename itself durable: it lives in the directory, not the file.
Status SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Status::IOError("Cannot open directory '" + directory + "': " + std::strerror(errno));
  const int r = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  // Some file systems cannot flush a directory at all; there is nothing more to do there.
  if (r != 0 && error != EINVAL) {
    return Status::IOError("Flush error on directory '" + directory + "': " + std::strerror(error));
  }
  return Status::Ok();
}

// The copy's layout and the space the file holds against it.
Status Measure(Database& db, Layout* layout, SpaceUse* out) {
  Status s = PlanCopy(db, layout);
  if (s.ok()) s = db.file().Size(&out->fileSize);
  if (s.ok()) s = db.EndFor(out->fileSize, &out->usedSize);
  if (s.ok()) out->neededSize = layout->size;
  return s;
}

}  // namespace

Status MeasureSpace(Database& db, SpaceUse* out) {
  Layout layout;
  return Measure(db, &layout, out);
}

std::string CompactCopyPath(const std::string& path) { return path + ".compacting"; }

Status CompactFile(const std::string& named, const CompactOptions& options, CompactResult* result) {
  *result = CompactResult{};
  // A database reached through a link is compacted where it really lives:
  // the copy renamed over the link would put a plain file in its place and
  // leave the real one as it was.
  std::string path = named;
  if (char* real = ::realpath(named.c_str(), nullptr)) {
    path = real;
    std::free(real);
  }
  Database::Options open = options.open;
  open.exclusive = true;
  std::shared_ptr<Database> db;
  Status s = Database::Open(path, open, &db);
  if (s.code() == Status::Code::kBusy) {
    return Status::Busy("'" + path +
                        "' is open in another program; it is compacted only when nothing else has it open");
  }
  if (!s.ok()) return s;
  // A file opened for reading cannot keep writers out, and is not to be replaced either.
  if (db->ReadOnly()) return Status::IOError("Database file '" + path + "' is read-only");

  Layout layout;
  s = Measure(*db, &layout, &result->before);
  if (!s.ok()) return s;
  // Asked outright, any byte past the minimal copy goes, zeros ahead too; at
  // start-up only dead space counts, or every start would undo the zeros.
  const bool wanted = options.minDeadShare <= 0 ? result->before.fileSize > layout.size
                                                : result->before.DeadShare() > options.minDeadShare;
  if (!wanted) return Status::Ok();

  struct stat mode {};
  if (::stat(path.c_str(), &mode) != 0) return Status::IOError("Cannot read the permissions of '" + path + "'");
  const std::string copyPath = CompactCopyPath(path);
  std::unique_ptr<File> file;
  s = options.openCopy ? options.openCopy(copyPath, &file) : OpenOsFile(copyPath, FileOpenOptions{true, true}, &file);
  if (!s.ok()) {
    std::remove(copyPath.c_str());
    return s;
  }
  std::shared_ptr<Database> copy;
  s = WriteCopy(layout, *file);
  if (s.ok() && ::chmod(copyPath.c_str(), mode.st_mode & 07777) != 0) {
    s = Status::IOError("Cannot set the permissions of '" + copyPath + "': " + std::strerror(errno));
  }
  // Read back through a database of its own, which keeps holding the copy
  // exclusively: from the rename on, it is the file.
  if (s.ok()) s = Database::OpenOn(std::move(file), open, &copy);
  if (s.ok()) s = CheckCopy(layout, *copy);
  if (s.ok() && std::rename(copyPath.c_str(), path.c_str()) != 0) {
    s = Status::IOError("Cannot put '" + copyPath + "' in place of '" + path + "': " + std::strerror(errno));
  }
  if (!s.ok()) {
    copy.reset();
    file.reset();
    std::remove(copyPath.c_str());
    return s;
  }
  result->compacted = true;
  result->sizeAfter = layout.size;
  return SyncDirectoryOf(path);
}

}  // namespace store
