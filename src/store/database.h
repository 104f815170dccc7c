#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/collation.h"
#include "store/file.h"
#include "store/format.h"
#include "store/status.h"

namespace store {

class TableData;

// When the store flushes the operating system's buffers.
enum class SyncMode {
  kNone,     // never: a killed process loses nothing, a power cut may
  kBarrier,  // once per change, before the write that makes it visible
};

struct OpenOptions {
  bool exclusive = false;
  SyncMode sync = SyncMode::kBarrier;
  std::shared_ptr<const Collation> collation;  // the user's locale when empty
  // How long and how often a busy change lock is waited for.
  int lockWaitMs = 100;
  int lockRetryCount = 20;
};

// Field definition as the caller gives it when creating a table.
struct FieldSpec {
  std::string name;
  FieldType type = FieldType::kInt32;
  std::int32_t size = 0;
};

// One open database file: its directory of tables, table and index creation,
// and the lock and write path every cursor goes through.
class Database {
 public:
  using Options = OpenOptions;

  ~Database();

  // Writes an empty database file, replacing any file of that name.
  static Status Create(const std::string& path);
  static Status CreateOn(File& file);

  static Status Open(const std::string& path, const Options& options, std::shared_ptr<Database>* out);
  // Opens over a given file layer (tests put a faulty one in between).
  static Status OpenOn(std::unique_ptr<File> file, const Options& options, std::shared_ptr<Database>* out);

  Status CreateTable(std::string_view name, const std::vector<FieldSpec>& fields);
  Status CreateIndex(std::string_view table, std::string_view index, std::uint8_t options,
                     const std::vector<std::string>& fields);

  // Names of the tables in creation order.
  Status TableNames(std::vector<std::string>* out);
  // Reads a table's header, rows and orders from the file.
  Status LoadTable(std::string_view name, std::unique_ptr<TableData>* out);

  const std::string& version() const { return version_; }
  const Collation& collation() const { return *collation_; }
  const Options& options() const { return options_; }
  File& file() { return *file_; }
  bool ReadOnly() const { return file_->ReadOnly(); }

  // Holds the change lock (exclusive) or the load lock (shared) for a scope,
  // after up to lockRetryCount retries lockWaitMs apart.
  class Lock {
   public:
    Lock() = default;
    Lock(Lock&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
    Lock& operator=(Lock&& other) noexcept {
      if (this != &other) {
        if (file_) file_->Unlock();
        file_ = other.file_;
        other.file_ = nullptr;
      }
      return *this;
    }
    ~Lock() {
      if (file_) file_->Unlock();
    }
    bool held() const { return file_ != nullptr; }

   private:
    friend class Database;
    explicit Lock(File* file) : file_(file) {}
    File* file_ = nullptr;
  };
  Status Acquire(LockKind kind, Lock* lock);

  // The flush before a change becomes visible, as the sync mode says.
  Status Barrier();

  // Where the next structure goes: the end of what the file holds, which
  // lies before the file's size when zeros were written ahead.
  Status End(std::int64_t* end);
  // The same for a file of `size` bytes, its size just read.
  Status EndFor(std::int64_t size, std::int64_t* end);
  // Makes room for `length` bytes at `end` (what End gave, under the change
  // lock) before they are written, and records the new end for every other
  // writer. A flushed change then overwrites bytes the file already has
  // instead of growing it, and its flush has no size to record: the file is
  // extended with written zeros ahead, in steps, only now and then.
  // `exact`: the caller writes the `length` bytes now; otherwise it claims
  // room for writes to come.
  Status Claim(std::int64_t end, std::int64_t length, bool writeAhead = true, bool exact = true);
  // The file's size as a catch-up just read it under the change lock, which
  // spares the next claim a look of its own.
  void SawSize(std::int64_t size) { sizeSeen_ = size; }

 private:
  Database(std::unique_ptr<File> file, const Options& options);
  Status ReadDirectory(TableDirectory* out);
  Status NamesIn(const TableDirectory& directory, std::int64_t fileSize, std::vector<std::string>* out);
  // The change lock, the directory and the file's end, for a new table or index.
  Status BeginSchemaChange(Lock* lock, TableDirectory* directory, std::int64_t* end);
  Status FindTable(const TableDirectory& directory, std::string_view name, std::int64_t* offset, TableHeader* header,
                   std::int64_t fileSize);

  std::unique_ptr<File> file_;
  Options options_;
  std::shared_ptr<const Collation> collation_;
  std::string version_;
  // The file's size since the lock now held was taken; -1 when not known.
  std::int64_t sizeSeen_ = -1;
};

// Names compare without regard to ASCII case, as the file's readers do.
bool SameName(std::string_view a, std::string_view b);

// What a load refuses before it takes memory: a file past the int32 offsets,
// a table header claiming more rows than the file has room for.
Status CheckFileSize(const std::string& path, std::int64_t size);
Status CheckRowClaim(const std::string& path, const TableHeader& header, std::int64_t size);
// A load that ran out of memory, as a status rather than an abort.
Status OutOfMemory(const std::string& path, std::string_view table);

}  // namespace store
