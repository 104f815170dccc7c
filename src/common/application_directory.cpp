#include "common/application_directory.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

#include "common/private_file.h"

namespace {

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
  MakePrivateDirectory(fallback);
  return QDir(fallback).absolutePath();
}

QString PerUserDataDirectory() {
  const QString location = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  return location.isEmpty() ? QDir::home().filePath(QStringLiteral(".selvantrix")) : location;
}

QString DefaultApplicationDirectory() {
  return ResolveApplicationDirectory(QCoreApplication::applicationDirPath(), PerUserDataDirectory());
}
