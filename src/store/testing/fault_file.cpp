#include "store/testing/fault_file.h"

namespace store::testing {

const char* FaultName(Fault fault) {
  switch (fault) {
    case Fault::kNone: return "none";
    case Fault::kFail: return "fail";
    case Fault::kCut: return "cut";
  }
  return "?";
}

std::size_t CutLength(std::int64_t offset, std::size_t length, int sectors) {
  const std::int64_t boundary = (offset / kSectorSize + sectors) * kSectorSize;
  if (offset + std::int64_t(length) <= boundary) return 0;
  return std::size_t(boundary - offset);
}

FaultFile::FaultFile(std::unique_ptr<File> inner) : inner_(std::move(inner)) {}

Status FaultFile::Open(const std::string& path, const FileOpenOptions& options, std::unique_ptr<FaultFile>* out) {
  std::unique_ptr<File> inner;
  Status s = OpenOsFile(path, options, &inner);
  if (!s.ok()) return s;
  *out = std::make_unique<FaultFile>(std::move(inner));
  return Status::Ok();
}

void FaultFile::Arm(Fault fault, int k, int sectors) {
  fault_ = fault;
  target_ = k;
  sectors_ = sectors;
  log_.clear();
  writes_ = 0;
  syncs_ = 0;
  lockAttempts_ = 0;
  fired_ = false;
  dead_ = false;
}

Status FaultFile::ReadAt(std::int64_t offset, std::size_t n, char* dst) { return inner_->ReadAt(offset, n, dst); }

Status FaultFile::WriteAt(std::int64_t offset, std::string_view data) {
  ++writes_;
  log_.emplace_back(offset, data.size());
  const Status died = Status::IOError("Write error on '" + Path() + "': the process died");
  if (dead_) return died;
  if (fault_ == Fault::kNone || writes_ != target_) return inner_->WriteAt(offset, data);
  fired_ = true;
  if (fault_ == Fault::kFail) return Status::IOError("Write error on '" + Path() + "': injected failure");
  dead_ = true;
  const std::size_t kept = CutLength(offset, data.size(), sectors_);
  if (kept > 0) {
    Status s = inner_->WriteAt(offset, data.substr(0, kept));
    if (!s.ok()) return s;
  }
  return died;
}

Status FaultFile::Size(std::int64_t* size) { return inner_->Size(size); }

Status FaultFile::Sync() {
  ++syncs_;
  if (dead_) return Status::IOError("Flush error on '" + Path() + "': the process died");
  // Not passed on: a simulated death loses only what was never written, and
  // what was written is in the page cache a reopen reads, so a real flush
  // would only make every run slower.
  return Status::Ok();
}

Status FaultFile::TryLock(LockKind kind) {
  ++lockAttempts_;
  return inner_->TryLock(kind);
}

void FaultFile::Unlock() { inner_->Unlock(); }

bool FaultFile::ReadOnly() const { return inner_->ReadOnly(); }

const std::string& FaultFile::Path() const { return inner_->Path(); }

}  // namespace store::testing
