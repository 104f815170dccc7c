#include "store/database.h"

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <new>
#include <cstdio>
#include <random>
#include <set>
#include <thread>

#include "store/table.h"

namespace store {

namespace {

// The digest text of the empty password; readers look at it only when
// encryption is on, which this store never turns on.
constexpr std::string_view kEmptyPasswordDigest = "D41D8CD98F00B204E9800998ECF8427E";

bool ValidName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 32) return false;
  }
  return true;
}

std::string Cut(std::string_view name) { return std::string(name.substr(0, kMaxNameLength)); }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

Database::Database(std::unique_ptr<File> file, const Options& options)
    : file_(std::move(file)), options_(options), collation_(options.collation) {
  if (!collation_) collation_ = MakeLocaleCollation();
}

Database::~Database() {
  // The last change's commit was written after its barrier; make it durable
  // before the file is let go. Nobody is left to tell of a failure, and the
  // commit itself reached the file: at worst a crash now loses the last change.
  if (options_.sync == SyncMode::kBarrier && !file_->ReadOnly()) static_cast<void>(file_->Sync());
}

Status Database::CreateOn(File& file) {
  std::string bytes(size_t(kFirstTableOffset), '\0');
  FileHeader().EncodeTo(bytes.data() + kFileHeaderOffset);
  OptionsBlock options;
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<int> printable(20, 122);
  for (auto& b : options.random) b = static_cast<std::uint8_t>(printable(random));
  options.passwordDigest = std::string(kEmptyPasswordDigest);
  options.EncodeTo(bytes.data() + kOptionsOffset);
  TableDirectory().EncodeTo(bytes.data() + kDirectoryOffset);
  Status s = file.WriteAt(0, bytes);
  if (s.ok()) s = file.Sync();
  return s;
}

Status Database::Create(const std::string& path) {
  // Built under a temporary name and renamed, so a cut never leaves a
  // half-written database where the program looks for one.
  const std::string temporary = path + ".creating";
  std::unique_ptr<File> file;
  // Whatever step fails, the message names the file asked for and the
  // system's reason (no permission, a full disk, ...).
  const std::string refusal = "Cannot create file " + path;
  Status s = OpenOsFile(temporary, FileOpenOptions{true, false}, &file);
  if (!s.ok()) return s.error() ? Status::SystemError(Status::Code::kIOError, refusal, s.error()) : s;
  s = CreateOn(*file);
  file.reset();
  if (s.ok() && std::rename(temporary.c_str(), path.c_str()) != 0) {
    s = Status::SystemError(Status::Code::kIOError, refusal, errno);
  } else if (!s.ok()) {
    s = s.error() ? Status::SystemError(Status::Code::kIOError, refusal, s.error())
                  : Status::IOError(refusal + ": " + s.message());
  }
  if (!s.ok()) std::remove(temporary.c_str());
  return s;
}

Status Database::Open(const std::string& path, const Options& options, std::shared_ptr<Database>* out) {
  std::unique_ptr<File> file;
  Status s = OpenOsFile(path, FileOpenOptions{false, options.exclusive}, &file);
  // An exclusive holder is mostly a start-up looking at whether the file
  // wants compacting, which takes milliseconds: a shared open waits for it
  // as a change waits for the change lock, instead of failing at once.
  for (int retry = 0; !options.exclusive && s.code() == Status::Code::kBusy && retry < options.lockRetryCount;
       ++retry) {
    std::this_thread::sleep_for(std::chrono::milliseconds(options.lockWaitMs));
    s = OpenOsFile(path, FileOpenOptions{false, false}, &file);
  }
  if (!s.ok()) return s;
  return OpenOn(std::move(file), options, out);
}

Status Database::OpenOn(std::unique_ptr<File> file, const Options& options, std::shared_ptr<Database>* out) {
  const std::string path = file->Path();
  std::int64_t size = 0;
  Status s = file->Size(&size);
  if (!s.ok()) return s;
  const std::string invalid = "Database file '" + path + "' is not a valid database file";
  if (size < kFileHeaderLength) return Status::Corruption(invalid);
  s = CheckFileSize(path, size);
  if (!s.ok()) return s;

  char header[kFileHeaderLength];
  s = file->ReadAt(0, sizeof header, header);
  if (!s.ok()) return s;
  FileHeader fileHeader;
  s = FileHeader::DecodeFrom(header, &fileHeader, path);
  if (!s.ok()) return s;
  if (fileHeader.version == "1.00") return Status::Corruption("Version 1.x is not compatible");
  if (fileHeader.version.compare(kVersion) > 0) return Status::Corruption("Version of database file is too High");
  if (size < kFirstTableOffset) return Status::Corruption(invalid);

  std::shared_ptr<Database> db(new Database(std::move(file), options));
  db->version_ = fileHeader.version;
  TableDirectory directory;
  s = db->ReadDirectory(&directory);
  if (!s.ok()) return s;
  *out = std::move(db);
  return Status::Ok();
}

Status Database::Acquire(LockKind kind, Lock* lock) {
  for (int attempt = 0;; ++attempt) {
    Status s = file_->TryLock(kind);
    if (s.ok()) {
      // Until now anyone may have written; from now on only this holder.
      sizeSeen_ = -1;
      *lock = Lock(file_.get());
      return s;
    }
    if (s.code() != Status::Code::kBusy || attempt >= options_.lockRetryCount) return s;
    std::this_thread::sleep_for(std::chrono::milliseconds(options_.lockWaitMs));
  }
}

Status Database::End(std::int64_t* end) {
  std::int64_t size = 0;
  Status s = file_->Size(&size);
  return s.ok() ? EndFor(size, end) : s;
}

Status Database::EndFor(std::int64_t size, std::int64_t* end) {
  sizeSeen_ = size;
  *end = size;
  if (size < kFirstTableOffset) return Status::Ok();
  char hint[kEndHintLength];
  Status s = file_->ReadAt(kEndHintOffset, sizeof hint, hint);
  if (s.ok()) *end = UsedEnd(hint, size);
  return s;
}

Status Database::Claim(std::int64_t end, std::int64_t length, bool writeAhead, bool exact) {
  // Zeros ahead of the end cost a write now and then; an eighth of the file
  // keeps their share small and their number logarithmic in its size.
  constexpr std::int64_t kMinAhead = 64 * 1024;
  constexpr std::int64_t kMaxAhead = 8 * 1024 * 1024;
  constexpr std::int64_t kPage = 4096;
  const std::int64_t used = end + length;
  std::int64_t size = sizeSeen_;
  Status s;
  if (size < 0) s = file_->Size(&size);
  if (!s.ok()) return s;
  std::int64_t allocated = std::max(size, used);
  // What the file's size is once the caller has written: unknown when it
  // claimed more than it writes now.
  sizeSeen_ = exact ? allocated : -1;
  // Without flushes nothing is gained by writing ahead.
  if (writeAhead && used > size && options_.sync == SyncMode::kBarrier) {
    const std::int64_t ahead = std::clamp(size / 8, kMinAhead, kMaxAhead);
    const std::int64_t target = std::min((used + ahead + kPage - 1) / kPage * kPage, std::int64_t(INT32_MAX));
    if (target > used) {
      // A disk without room for the zeros is full for every purpose; the
      // change fails as it would have failed at its own write.
      sizeSeen_ = -1;
      s = file_->WriteAt(size, std::string(size_t(target - size), '\0'));
      if (!s.ok()) return s;
      allocated = target;
      sizeSeen_ = target;
    }
  }
  // A write that grows the file to exactly its new end needs no hint: any
  // hint there names a smaller size and is not believed from now on.
  if (exact && allocated == used && used > size) return Status::Ok();
  // The file's size, as it will be once the change is written, goes with the
  // end: a writer that keeps no hint grows the file past it, and the hint
  // then no longer describes the file and is not believed.
  return file_->WriteAt(kEndHintOffset, EncodeEndHint(used, allocated));
}

Status Database::Barrier() { return options_.sync == SyncMode::kBarrier ? file_->Sync() : Status::Ok(); }

Status Database::ReadDirectory(TableDirectory* out) {
  char bytes[kDirectoryLength];
  Status s = file_->ReadAt(kDirectoryOffset, sizeof bytes, bytes);
  if (!s.ok()) return s;
  return TableDirectory::DecodeFrom(bytes, out);
}

Status Database::FindTable(const TableDirectory& directory, std::string_view name, std::int64_t* offset,
                           TableHeader* header, std::int64_t fileSize) {
  std::string bytes(size_t(TableHeader::kEncodedLength), '\0');
  for (std::int32_t at : directory.tableOffsets) {
    if (at < kFirstTableOffset || std::int64_t(at) + TableHeader::kEncodedLength > fileSize) {
      return Status::Corruption("table directory points outside the file");
    }
    Status s = file_->ReadAt(at, bytes.size(), bytes.data());
    if (!s.ok()) return s;
    if (!SameName(GetName(bytes.data()), name)) continue;
    s = TableHeader::DecodeFrom(bytes.data(), header);
    if (!s.ok()) return s;
    *offset = at;
    return Status::Ok();
  }
  return Status::NotFound("Table '" + std::string(name) + "' not found");
}

Status Database::TableNames(std::vector<std::string>* out) {
  TableDirectory directory;
  std::int64_t size = 0;
  Status s = ReadDirectory(&directory);
  if (s.ok()) s = file_->Size(&size);
  if (s.ok()) s = NamesIn(directory, size, out);
  return s;
}

Status Database::NamesIn(const TableDirectory& directory, std::int64_t fileSize, std::vector<std::string>* out) {
  out->clear();
  char name[kNameFieldLength];
  for (std::int32_t at : directory.tableOffsets) {
    if (at < kFirstTableOffset || std::int64_t(at) + TableHeader::kEncodedLength > fileSize) {
      return Status::Corruption("table directory points outside the file");
    }
    Status s = file_->ReadAt(at, sizeof name, name);
    if (!s.ok()) return s;
    out->push_back(GetName(name));
  }
  return Status::Ok();
}

Status Database::BeginSchemaChange(Lock* lock, TableDirectory* directory, std::int64_t* end) {
  if (file_->ReadOnly()) return Status::IOError("Database file '" + file_->Path() + "' is read-only");
  Status s = Acquire(LockKind::kExclusive, lock);
  if (s.ok()) s = ReadDirectory(directory);
  if (s.ok()) s = End(end);
  return s;
}

Status Database::CreateTable(std::string_view rawName, const std::vector<FieldSpec>& fields) {
  const std::string name = Cut(rawName);
  if (!ValidName(rawName)) return Status::InvalidArgument("Invalid table name '" + std::string(rawName) + "'");
  if (fields.empty()) return Status::InvalidArgument("Field name expected");
  if (fields.size() >= size_t(kMaxFields)) return Status::InvalidArgument("Too many fields");
  int autoIncs = 0;
  std::vector<FieldDefinition> definitions;
  for (const FieldSpec& f : fields) {
    if (!ValidName(f.name)) return Status::InvalidArgument("Invalid field name '" + f.name + "'");
    if (!IsKnownFieldType(static_cast<std::uint8_t>(f.type))) {
      return Status::InvalidArgument("Field '" + f.name + "' is of an unsupported type");
    }
    if ((IsTextType(f.type) && (f.size < 1 || f.size > kMaxTextSize)) || (IsBlobType(f.type) && f.size != 0)) {
      return Status::InvalidArgument("Invalid field size");
    }
    for (const FieldDefinition& earlier : definitions) {
      if (SameName(earlier.name, Cut(f.name))) return Status::InvalidArgument("Duplicate field name '" + f.name + "'");
    }
    if (f.type == FieldType::kAutoInc && ++autoIncs > 1) return Status::InvalidArgument("Duplicate AutoInc field");
    definitions.push_back(FieldDefinition{Cut(f.name), f.type, IsTextType(f.type) ? f.size : 0});
  }
  Lock lock;
  TableDirectory directory;
  std::int64_t end = 0;
  Status s = BeginSchemaChange(&lock, &directory, &end);
  if (!s.ok()) return s;
  if (directory.tableOffsets.size() >= size_t(kMaxTables)) return Status::InvalidArgument("Too many tables");
  std::vector<std::string> names;
  s = NamesIn(directory, end, &names);
  if (!s.ok()) return s;
  for (const std::string& existing : names) {
    if (SameName(existing, name)) return Status::InvalidArgument("Duplicate table name '" + std::string(rawName) + "'");
  }

  // The header's row count and auto-increment value are the writes that make
  // rows exist; they must not lie across a 512-byte sector boundary, where a
  // cut could keep half of them. A few zero bytes before the header see to it.
  const std::int64_t countAt = (end + TableHeader::kRecordTabAt) % 512;
  const std::int64_t padding = countAt > 512 - 12 ? 512 - countAt : 0;
  end += padding;
  TableHeader header;
  header.name = name;
  header.fields = definitions;
  for (size_t i = 0; i < definitions.size(); ++i) {
    if (definitions[i].type != FieldType::kAutoInc) continue;
    IndexDefinition primary;
    primary.name = definitions[i].name;
    primary.options = kIndexPrimary;
    primary.fields = {std::int32_t(i)};
    primary.tabOffset = std::int32_t(end + TableHeader::kEncodedLength);
    header.indexes.push_back(primary);
  }
  // The header first, then the directory slot, then the count that makes
  // the table exist: a cut anywhere before leaves the old directory.
  std::string bytes(size_t(padding + TableHeader::kEncodedLength), '\0');
  header.EncodeTo(bytes.data() + padding);
  // Schema changes are rare and a new database stays as small as it was.
  s = Claim(end - padding, std::int64_t(bytes.size()), false);
  if (s.ok()) s = file_->WriteAt(end - padding, bytes);
  if (s.ok()) s = Barrier();
  const int slot = int(directory.tableOffsets.size());
  char four[4];
  if (s.ok()) {
    PutInt32(four, std::int32_t(end));
    s = file_->WriteAt(kDirectoryOffset + 8 + 4 * slot, std::string_view(four, 4));
  }
  if (s.ok()) s = Barrier();
  if (s.ok()) {
    PutInt32(four, slot + 1);
    s = file_->WriteAt(kDirectoryOffset, std::string_view(four, 4));
  }
  return s;
}

Status Database::CreateIndex(std::string_view table, std::string_view rawIndex, std::uint8_t options,
                             const std::vector<std::string>& fields) {
  if (!ValidName(table)) return Status::InvalidArgument("Invalid table name '" + std::string(table) + "'");
  if (!ValidName(rawIndex)) return Status::InvalidArgument("Invalid index name '" + std::string(rawIndex) + "'");
  Lock lock;
  TableDirectory directory;
  std::int64_t end = 0;
  Status s = BeginSchemaChange(&lock, &directory, &end);
  if (!s.ok()) return s;
  std::int64_t at = 0;
  TableHeader header;
  s = FindTable(directory, table, &at, &header, end);
  if (!s.ok()) return s;

  const std::string index = Cut(rawIndex);
  if (header.indexes.size() >= size_t(kMaxIndexes)) return Status::InvalidArgument("Too many indexes");
  for (const IndexDefinition& d : header.indexes) {
    if (SameName(d.name, index)) return Status::InvalidArgument("Duplicate index name '" + std::string(rawIndex) + "'");
  }
  if (options & kIndexPrimary) {
    for (const IndexDefinition& d : header.indexes) {
      if (d.options & kIndexPrimary) return Status::InvalidArgument("Duplicate primary index");
    }
  }
  if (header.rowCount > 0) return Status::InvalidArgument("Fail to create index");
  if (fields.empty()) return Status::InvalidArgument("Field name expected");
  IndexDefinition definition;
  definition.name = index;
  definition.options = options;
  std::set<std::int32_t> seen;
  for (const std::string& field : fields) {
    std::int32_t slot = -1;
    for (size_t i = 0; i < header.fields.size(); ++i) {
      if (SameName(header.fields[i].name, field)) slot = std::int32_t(i);
    }
    if (slot >= 0 && !seen.insert(slot).second) return Status::InvalidArgument("Duplicate field name '" + field + "'");
    if (slot < 0) return Status::InvalidArgument("Field '" + field + "' not found");
    if (definition.fields.size() < size_t(kMaxIndexFields)) definition.fields.push_back(slot);
  }
  definition.tabOffset = std::int32_t(end);
  definition.head = 0;

  // The definition first, then the count that makes it part of the table.
  const int slot = int(header.indexes.size());
  std::string bytes(size_t(IndexDefinition::kEncodedLength), '\0');
  definition.EncodeTo(bytes.data());
  s = file_->WriteAt(at + TableHeader::IndexDefinitionAt(slot), bytes);
  if (s.ok()) s = Barrier();
  if (s.ok()) {
    char four[4];
    PutInt32(four, slot + 1);
    s = file_->WriteAt(at + TableHeader::kIndexCountAt, std::string_view(four, 4));
  }
  return s;
}

Status CheckFileSize(const std::string& path, std::int64_t size) {
  // Every offset in the file is an int32: nothing past that can be part of a
  // database, and a load would hold it all in memory for nothing.
  if (size > std::int64_t(INT32_MAX)) {
    return Status::Corruption("Database file '" + path + "' is larger than the store can hold (" +
                              std::to_string(size) + " bytes, at most " + std::to_string(INT32_MAX) + ")");
  }
  return Status::Ok();
}

Status CheckRowClaim(const std::string& path, const TableHeader& header, std::int64_t size) {
  // Each row takes its record item and its bytes; a header that claims more
  // rows than the file has room for is refused before memory is taken for them.
  std::int64_t rowSize = 0;
  for (const FieldDefinition& f : header.fields) rowSize += FieldWidth(f.type, f.size);
  if (std::int64_t(header.rowCount) * (kRecordItemLength + rowSize) > size) {
    return Status::Corruption("record tab of table '" + header.name +
                              "' is damaged: its row count claims rows it does not hold (" +
                              std::to_string(header.rowCount) + " rows in '" + path + "')");
  }
  return Status::Ok();
}

Status Database::LoadTable(std::string_view name, std::unique_ptr<TableData>* out) {
  try {
    Lock lock;
    Status s = Acquire(LockKind::kShared, &lock);
    if (!s.ok()) return s;
    std::int64_t size = 0;
    s = file_->Size(&size);
    if (s.ok()) s = CheckFileSize(file_->Path(), size);
    if (!s.ok()) return s;
    TableDirectory directory;
    s = ReadDirectory(&directory);
    if (!s.ok()) return s;
    std::int64_t at = 0;
    TableHeader header;
    s = FindTable(directory, name, &at, &header, size);
    if (s.ok()) s = CheckRowClaim(file_->Path(), header, size);
    if (!s.ok()) return s;
    std::string bytes(size_t(size), '\0');
    s = file_->ReadAt(0, bytes.size(), bytes.data());
    if (!s.ok()) return s;
    auto table = std::make_unique<TableData>();
    s = table->LoadFrom(*this, bytes, at);
    if (!s.ok()) return s;
    *out = std::move(table);
    return Status::Ok();
  } catch (const std::bad_alloc&) {
    return OutOfMemory(file_->Path(), name);
  }
}

Status OutOfMemory(const std::string& path, std::string_view table) {
  return Status::IOError("Not enough memory to load table '" + std::string(table) + "' of '" + path + "'");
}

}  // namespace store
