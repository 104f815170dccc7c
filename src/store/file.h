#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/status.h"

namespace store {

enum class LockKind { kShared, kExclusive };

// The store's view of its file: positioned reads and writes, the size, a
// flush, and the single-byte lock that guards changes and table loads. Tests
// put a layer in between that fails or cuts writes.
class File {
 public:
  virtual ~File() = default;

  // Reads exactly `n` bytes or fails; a read past the end is corruption.
  virtual Status ReadAt(std::int64_t offset, std::size_t n, char* dst) = 0;
  virtual Status WriteAt(std::int64_t offset, std::string_view data) = 0;
  virtual Status Size(std::int64_t* size) = 0;
  // Makes every write so far durable before any later one.
  virtual Status Sync() = 0;
  // One attempt at the change lock on byte 1; Busy when another holds it.
  virtual Status TryLock(LockKind kind) = 0;
  virtual void Unlock() = 0;
  virtual bool ReadOnly() const = 0;
  virtual const std::string& Path() const = 0;
};

struct FileOpenOptions {
  bool create = false;     // create afresh (a file of that name goes first)
  bool exclusive = false;  // share the file with no other process
};

// Opens a file of the operating system. A file without write permission is
// opened for reading only.
Status OpenOsFile(const std::string& path, const FileOpenOptions& options, std::unique_ptr<File>* out);

}  // namespace store
