#include "store/file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace store {

namespace {

// Byte 1 guards changes and table loads; byte 2 is held for the life of an
// open so that an exclusive opener and everyone else keep out of each other.
constexpr off_t kChangeLockByte = 1;
constexpr off_t kOpenLockByte = 2;

// Open-file-description locks belong to this open, not to the process, so
// another descriptor of the same file closing elsewhere cannot drop them.
int SetLock(int fd, short type, off_t byte) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return fcntl(fd, F_OFD_SETLK, &lock);
}

class OsFile final : public File {
 public:
  OsFile(int fd, std::string path, bool readOnly) : fd_(fd), path_(std::move(path)), readOnly_(readOnly) {}
  ~OsFile() override { ::close(fd_); }

  Status ReadAt(std::int64_t offset, std::size_t n, char* dst) override {
    std::size_t done = 0;
    while (done < n) {
      const ssize_t r = ::pread(fd_, dst + done, n - done, off_t(offset + std::int64_t(done)));
      if (r < 0) {
        if (errno == EINTR) continue;
        return Status::SystemError(Status::Code::kIOError, "Read error on '" + path_ + "'", errno);
      }
      if (r == 0) return Status::Corruption("file '" + path_ + "' ends inside a structure it claims");
      done += std::size_t(r);
    }
    return Status::Ok();
  }

  Status WriteAt(std::int64_t offset, std::string_view data) override {
    if (readOnly_) return Status::IOError("Database file '" + path_ + "' is read-only");
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t w = ::pwrite(fd_, data.data() + done, data.size() - done, off_t(offset + std::int64_t(done)));
      if (w < 0) {
        if (errno == EINTR) continue;
        return Status::SystemError(Status::Code::kIOError, "Write error on '" + path_ + "'", errno);
      }
      done += std::size_t(w);
    }
    return Status::Ok();
  }

  Status Size(std::int64_t* size) override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      return Status::SystemError(Status::Code::kIOError, "Cannot read the size of '" + path_ + "'", errno);
    }
    *size = st.st_size;
    return Status::Ok();
  }

  Status Sync() override {
    if (readOnly_) return Status::Ok();
    if (::fdatasync(fd_) != 0)
      return Status::SystemError(Status::Code::kIOError, "Flush error on '" + path_ + "'", errno);
    return Status::Ok();
  }

  Status TryLock(LockKind kind) override {
    // A file opened for reading can only take shared locks, and it never changes anything.
    const short type = (kind == LockKind::kExclusive && !readOnly_) ? F_WRLCK : F_RDLCK;
    if (SetLock(fd_, type, kChangeLockByte) == 0) return Status::Ok();
    if (errno == EAGAIN || errno == EACCES) return Status::Busy("Wait for unlock time out");
    return Status::SystemError(Status::Code::kIOError, "Lock error on '" + path_ + "'", errno);
  }

  void Unlock() override { SetLock(fd_, F_UNLCK, kChangeLockByte); }

  bool ReadOnly() const override { return readOnly_; }
  const std::string& Path() const override { return path_; }

 private:
  int fd_;
  std::string path_;
  bool readOnly_;
};

}  // namespace

Status OpenOsFile(const std::string& path, const FileOpenOptions& options, std::unique_ptr<File>* out) {
  int fd = -1;
  bool readOnly = false;
  if (options.create) {
    // Only ever a name of the store's own beside the database: one left by
    // a cut goes, and nothing planted under it (a link to another file) is
    // followed. The rows are personal data, for the owner's eyes only.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
      return Status::SystemError(Status::Code::kIOError, "Cannot open file " + path, errno);
    }
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  } else {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      return Status::SystemError(errno == ENOENT ? Status::Code::kNotFound : Status::Code::kIOError,
                                 "Cannot open file " + path, errno);
    }
    if (!S_ISREG(st.st_mode)) {
      return Status::SystemError(Status::Code::kNotFound, "Cannot open file " + path,
                                 S_ISDIR(st.st_mode) ? EISDIR : ENODEV);
    }
    // A file without write permission bits is opened for reading, as a
    // read-only attribute would be honoured.
    readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0;
    fd = ::open(path.c_str(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
  }
  if (fd < 0) return Status::SystemError(Status::Code::kIOError, "Cannot open file " + path, errno);

  const short openLock = (options.exclusive && !readOnly) ? F_WRLCK : F_RDLCK;
  if (SetLock(fd, openLock, kOpenLockByte) != 0) {
    ::close(fd);
    return Status::Busy("Cannot open file " + path);
  }
  *out = std::make_unique<OsFile>(fd, path, readOnly);
  return Status::Ok();
}

}  // namespace store
