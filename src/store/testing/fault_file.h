#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/file.h"
#include "store/status.h"

namespace store::testing {

// What a FaultFile does to the write it is armed for.
enum class Fault {
  kNone,  // nothing: the file only counts
  kFail,  // the write puts nothing on disk and reports an error; later writes go through
  kCut,   // the process dies inside the write: its part before the next sector
          // boundary reaches the disk, and no later write or flush does
};

const char* FaultName(Fault fault);

// Disks write whole sectors, so a cut write leaves the bytes of its first
// sector and nothing of the others.
inline constexpr std::int64_t kSectorSize = 512;

// How many leading bytes of a write of `length` bytes at `offset` a cut
// leaves: those before the `sectors`-th multiple of kSectorSize above
// `offset` (a process killed inside a long write leaves a prefix of it), and
// none when the whole write lies before that boundary.
std::size_t CutLength(std::int64_t offset, std::size_t length, int sectors = 1);

// A File over a file of the operating system that counts the writes, flushes
// and lock attempts made through it, and fails or cuts the k-th write.
// Reads, the size and the locks go to the real file unchanged.
class FaultFile final : public File {
 public:
  explicit FaultFile(std::unique_ptr<File> inner);

  static Status Open(const std::string& path, const FileOpenOptions& options, std::unique_ptr<FaultFile>* out);

  // Restarts the counts and acts on the k-th write from now on (1-based);
  // a cut keeps the write's part before its `sectors`-th sector boundary.
  void Arm(Fault fault, int k = 0, int sectors = 1);
  // Where and how long each write since Arm was.
  const std::vector<std::pair<std::int64_t, std::size_t>>& log() const { return log_; }

  int writes() const { return writes_; }
  int syncs() const { return syncs_; }
  int lockAttempts() const { return lockAttempts_; }
  // The armed write has come.
  bool fired() const { return fired_; }
  // A cut happened: nothing reaches the disk any more.
  bool dead() const { return dead_; }

  Status ReadAt(std::int64_t offset, std::size_t n, char* dst) override;
  Status WriteAt(std::int64_t offset, std::string_view data) override;
  Status Size(std::int64_t* size) override;
  Status Sync() override;
  Status TryLock(LockKind kind) override;
  void Unlock() override;
  bool ReadOnly() const override;
  const std::string& Path() const override;

 private:
  std::unique_ptr<File> inner_;
  Fault fault_ = Fault::kNone;
  int target_ = 0;
  int writes_ = 0;
  int syncs_ = 0;
  int lockAttempts_ = 0;
  int sectors_ = 1;
  bool fired_ = false;
  bool dead_ = false;
  std::vector<std::pair<std::int64_t, std::size_t>> log_;
};

}  // namespace store::testing
