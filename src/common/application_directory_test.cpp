#include "common/application_directory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(ApplicationDirectoryTest, PrefersAWritableExecutableDirectory) {
  QTemporaryDir exe, fallback;
  EXPECT_EQ(ResolveApplicationDirectory(exe.path(), fallback.filePath("user")), QDir(exe.path()).absolutePath());
  EXPECT_FALSE(QDir(fallback.filePath("user")).exists());
}

TEST(ApplicationDirectoryTest, FallsBackWhenNoFileCanBeCreated) {
  QTemporaryDir temp;
  const QString missing = temp.filePath("gone");
  const QString fallback = temp.filePath("user/data");
  EXPECT_EQ(ResolveApplicationDirectory(missing, fallback), QDir(fallback).absolutePath());
  EXPECT_TRUE(QDir(fallback).exists());

  // Read-only directory: root ignores the mode bits, so only check as a user.
  if (geteuid() != 0) {
    const QString locked = temp.filePath("locked");
    QDir().mkpath(locked);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(ResolveApplicationDirectory(locked, fallback), QDir(fallback).absolutePath());
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  }
  // The probe leaves nothing behind.
  EXPECT_TRUE(QDir(fallback).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).isEmpty());
}

}  // namespace
