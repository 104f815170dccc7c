#include "core/ini_file.h"

#include <SimpleIni.h>

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <string>

#include "common/private_file.h"
#include "core/store_errors.h"

namespace {

// Long enough for any other start to finish its own write.
constexpr int kLockWaitMs = 10000;

}  // namespace

bool SetIniValue(const QString& path, const char* section, const char* key, const QByteArray& value,
                 QString* problem) {
  auto fail = [&](const QString& why) {
    if (problem) {
      *problem = QString::fromUtf8("Nie można zapisać pliku \"%1\": %2").arg(QDir::toNativeSeparators(path), why);
    }
    return false;
  };
  QLockFile lock(path + QStringLiteral(".lock"));
  if (!lock.tryLock(kLockWaitMs)) return fail(QString::fromUtf8("zajmuje go inny proces"));
  CSimpleIniA ini;  // keys compared without regard to case, file order kept
  const QByteArray file = QFile::encodeName(path);
  if (QFile::exists(path) && ini.LoadFile(file.constData()) < 0) {
    // Not a file to merge into: replacing it would lose what it holds.
    return fail(QString::fromUtf8("nie można odczytać jego treści"));
  }
  const char* stored = ini.GetValue(section, key);
  if (stored && value == stored) return true;
  ini.SetSpaces(false);
  ini.SetValue(section, key, value.constData());
  std::string text;
  QString cause;
  if (ini.Save(text) < 0) return fail(QString::fromUtf8("nieznany błąd"));
  return WriteFileWhole(path, QByteArray::fromStdString(text), &cause) || fail(SystemCause(cause));
}

QByteArray IniValue(const QString& path, const char* section, const char* key) {
  CSimpleIniA ini;
  if (ini.LoadFile(QFile::encodeName(path).constData()) < 0) return QByteArray();
  return QByteArray(ini.GetValue(section, key, ""));
}
