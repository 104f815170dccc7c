#include "schema/schema.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "store/database.h"

using store::FieldSpec;
using store::FieldType;
using store::Status;

namespace {

Status BuildSchema(store::Database& db) {
  Status s =
      db.CreateTable("telefony", {FieldSpec{"ID", FieldType::kInt32, 0}, FieldSpec{"Imie", FieldType::kText, 40},
                                  FieldSpec{"Nazwisko", FieldType::kText, 40}, FieldSpec{"Tel", FieldType::kText, 12},
                                  FieldSpec{"ST", FieldType::kInt32, 0}});
  if (s.ok()) s = db.CreateIndex("telefony", "TelIndex", store::kIndexUnique, {"Tel"});
  if (s.ok()) s = db.CreateIndex("telefony", "NazwiskoIndex", 0, {"Nazwisko"});
  if (s.ok()) s = db.CreateIndex("telefony", "ImieIndex", 0, {"Imie"});
  if (s.ok())
    s = db.CreateTable("config", {FieldSpec{"key", FieldType::kText, 40}, FieldSpec{"value", FieldType::kText, 40}});
  if (s.ok())
    s = db.CreateTable("raporty", {FieldSpec{"Tel", FieldType::kText, 10}, FieldSpec{"Data", FieldType::kText, 18}});
  return s;
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Each process builds under a name of its own: two first starts at once must
// not write into the same half-made file.
std::string TemporaryName(const std::string& path) { return path + ".new-" + std::to_string(::getpid()); }

// A first start killed before its rename leaves its temporary file behind;
// it is removed once the process that made it is gone.
void RemoveAbandonedTemporaries(const std::string& path) {
  const std::string directory = DirectoryOf(path);
  const std::string prefix = BaseName(path) + ".new-";
  DIR* dir = ::opendir(directory.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    char* end = nullptr;
    const long pid = std::strtol(name.c_str() + prefix.size(), &end, 10);
    if (pid <= 0 || *end != '\0') continue;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH) std::remove((directory + "/" + name).c_str());
  }
  ::closedir(dir);
}

// Moves `from` to `to` unless `to` exists. *placed is false when
// another process put a database there first.
Status MoveIntoPlaceExclusively(const std::string& from, const std::string& to, bool* placed) {
  *placed = false;
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
    *placed = true;
    return Status::Ok();
  }
  const int renameError = errno;
  if (renameError == EEXIST) return Status::Ok();
  if (renameError != EINVAL && renameError != ENOSYS && renameError != ENOTSUP) {
    return Status::SystemError(Status::Code::kIOError, "Cannot create file " + to, renameError);
  }
  // Filesystems without the no-replace rename still refuse a hard link over
  // an existing name.
  if (::link(from.c_str(), to.c_str()) == 0) {
    *placed = true;
    ::unlink(from.c_str());
    return Status::Ok();
  }
  const int linkError = errno;
  if (linkError == EEXIST) return Status::Ok();
  return Status::SystemError(Status::Code::kIOError, "Cannot create file " + to, linkError);
}

// The new name is only durable once its directory is flushed.
void FlushDirectory(const std::string& path) {
  const int fd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

Status CreateConfiguratorDatabase(const std::string& path) {
  RemoveAbandonedTemporaries(path);
  const std::string temporary = TemporaryName(path);
  Status s = store::Database::Create(temporary);
  if (s.ok()) {
    std::shared_ptr<store::Database> db;
    s = store::Database::Open(temporary, store::Database::Options{}, &db);
    if (s.ok()) s = BuildSchema(*db);
  }
  bool placed = false;
  if (s.ok()) s = MoveIntoPlaceExclusively(temporary, path, &placed);
  if (placed) {
    FlushDirectory(path);
  } else {
    std::remove(temporary.c_str());
  }
  return s;
}
