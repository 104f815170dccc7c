#include "common/application_directory.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

QString& StoredDirectory() {
  static QString directory;
  return directory;
}

// Permission bits lie for root and on network shares: the only honest test is
// to create a file.
bool CanCreateFileIn(const QString& directory) {
  if (directory.isEmpty() || !QDir(directory).exists()) return false;
  QTemporaryFile probe(QDir(directory).filePath(QStringLiteral(".selvantrix-probe-XXXXXX")));
  return probe.open();
}

}  // namespace

QString ResolveApplicationDirectory(const QString& preferred, const QString& fallback) {
  if (CanCreateFileIn(preferred)) return QDir(preferred).absolutePath();
  QDir().mkpath(fallback);
  return QDir(fallback).absolutePath();
}

QString PerUserDataDirectory() {
  const QString location = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  return location.isEmpty() ? QDir::home().filePath(QStringLiteral(".selvantrix")) : location;
}

void SetApplicationDirectory(const QString& directory) { StoredDirectory() = QDir(directory).absolutePath(); }

QString ApplicationDirectory() {
  QString& directory = StoredDirectory();
  if (directory.isEmpty()) {
    directory = ResolveApplicationDirectory(QCoreApplication::applicationDirPath(), PerUserDataDirectory());
  }
  return directory;
}
