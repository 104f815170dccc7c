#include "common/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr mode_t kPrivateFile = 0600;
constexpr mode_t kPrivateDirectory = 0700;

QString Cause(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool WriteAll(int fd, const QByteArray& bytes, int* error) {
  for (qint64 done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = n < 0 ? errno : ENOSPC;
      return false;
    }
    done += n;
  }
  return true;
}

// The rename lives in the directory: flushed, it survives a power cut.
void SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  static_cast<void>(::fsync(fd));  // some file systems cannot; the data is already safe
  ::close(fd);
}

}  // namespace

bool MakePrivateDirectory(const QString& path) {
  const QString absolute = QDir(path).absolutePath();
  if (QFileInfo(absolute).isDir()) return true;
  const QString parent = QFileInfo(absolute).path();
  if (parent != absolute && !MakePrivateDirectory(parent)) return false;
  return ::mkdir(QFile::encodeName(absolute).constData(), kPrivateDirectory) == 0 || errno == EEXIST;
}

bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* cause) {
  std::string target = QFile::encodeName(path).toStdString();
  if (char* real = ::realpath(target.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode) && !S_ISDIR(existing.st_mode)) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
    int error = 0;
    const bool written = fd >= 0 && WriteAll(fd, bytes, &error);
    if (fd < 0) error = errno;
    if (fd >= 0 && ::close(fd) != 0 && written) error = errno;
    if (error != 0) *cause = Cause(error);
    return error == 0;
  }
  if (exists && S_ISDIR(existing.st_mode)) {
    *cause = Cause(EISDIR);
    return false;
  }
  const size_t slash = target.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  // mkstemp opens with O_EXCL under a name no one could plant beforehand.
  std::string temporary = directory + "/." + name + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    *cause = Cause(errno);
    return false;
  }
  const mode_t mode = exists ? (existing.st_mode & 07777) : kPrivateFile;
  int error = 0;
  if (WriteAll(fd, bytes, &error) && (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    *cause = Cause(error);
    return false;
  }
  SyncDirectory(directory);
  return true;
}

bool OpenPrivateAppend(QFile& file) {
  return file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
