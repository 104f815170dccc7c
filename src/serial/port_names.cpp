#include "serial/port_names.h"

#include <SimpleIni.h>

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSerialPortInfo>
#include <QSet>

#include "common/parse_number.h"
#include "core/ini_file.h"

#ifdef Q_OS_UNIX
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Explicit COM number -> device mappings of the settings file.
QMap<int, QString> ReadAliases(const QString& settingsFile) {
  QMap<int, QString> aliases;
  CSimpleIniA ini;
  if (ini.LoadFile(QFile::encodeName(settingsFile).constData()) < 0) return aliases;
  CSimpleIniA::TNamesDepend keys;
  ini.GetAllKeys(kPortsSection, keys);
  for (const auto& key : keys) {
    const QString name = QString::fromLocal8Bit(key.pItem).trimmed();
    if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive)) continue;
    bool ok = false;
    const int number = name.mid(3).toInt(&ok);
    const QString device = QString::fromLocal8Bit(ini.GetValue(kPortsSection, key.pItem, "")).trimmed();
    if (ok && number > 0 && !device.isEmpty()) aliases.insert(number, device);
  }
  return aliases;
}

QString Canonical(const QString& device) {
  const QString resolved = QFileInfo(device).canonicalFilePath();
  return resolved.isEmpty() ? device : resolved;
}

}  // namespace

QString PortDevice(const QString& settingsFile, int number) {
#ifdef Q_OS_WIN
  Q_UNUSED(settingsFile);
  return QStringLiteral("\\\\.\\COM%1").arg(number);
#else
  const QMap<int, QString> aliases = ReadAliases(settingsFile);
  if (aliases.contains(number)) return aliases.value(number);
  return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

PortChoice ResolvePort(const QString& settingsFile, const QString& choice) {
  PortChoice port;
  if (choice.startsWith(u'/') || choice.startsWith(QLatin1String("\\\\"))) {
    port.device = choice;
    port.byPath = true;
    return port;
  }
  const bool named = choice.startsWith(QLatin1String("COM"), Qt::CaseInsensitive);
  port.number = ParseNumber(named ? choice.mid(3) : choice);
  port.device = PortDevice(settingsFile, port.number);
  return port;
}

int NumberForDevice(const QString& settingsFile, const QString& device, bool* fresh) {
  *fresh = false;
#ifdef Q_OS_WIN
  Q_UNUSED(settingsFile);
  Q_UNUSED(device);
  return 0;
#else
  const QMap<int, QString> aliases = ReadAliases(settingsFile);
  for (auto it = aliases.begin(); it != aliases.end(); ++it) {
    if (Canonical(it.value()) == Canonical(device)) return it.key();
  }
  QSet<int> taken(aliases.keyBegin(), aliases.keyEnd());
  for (const PortEntry& entry : EnumerateSerialPorts(settingsFile)) taken.insert(entry.number);
  for (int number = 1; number <= 20; ++number) {
    if (!taken.contains(number)) {
      *fresh = true;
      return number;
    }
  }
  return 0;
#endif
}

QList<PortEntry> EnumerateSerialPorts(const QString& settingsFile) {
  QList<PortEntry> entries;
  const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
#ifdef Q_OS_WIN
  Q_UNUSED(settingsFile);
  for (const QSerialPortInfo& port : ports) {
    if (!port.portName().startsWith(QLatin1String("COM"))) continue;
    const int number = port.portName().mid(3).toInt();
    entries.append(
        {port.portName() + QStringLiteral(": = ") + port.description() + QStringLiteral(" (") + port.portName() + u')',
         number, port.systemLocation(), false});
  }
#else
  const QMap<int, QString> aliases = ReadAliases(settingsFile);
  QMap<QString, int> numberOf;  // canonical device -> COM number
  for (auto it = aliases.begin(); it != aliases.end(); ++it) numberOf.insert(Canonical(it.value()), it.key());
  QSet<int> taken(aliases.keyBegin(), aliases.keyEnd());
  // The unmapped numbers already stand for /dev/ttyS(n-1).
  for (const QSerialPortInfo& port : ports) {
    const QString device = Canonical(port.systemLocation());
    if (numberOf.contains(device) || !port.portName().startsWith(QLatin1String("ttyS"))) continue;
    bool ok = false;
    const int number = port.portName().mid(4).toInt(&ok) + 1;
    if (ok && number >= 1 && number <= 20 && !taken.contains(number)) {
      numberOf.insert(device, number);
      taken.insert(number);
    }
  }
  for (const QSerialPortInfo& port : ports) {
    const QString device = Canonical(port.systemLocation());
    int number = numberOf.value(device, 0);
    const bool fresh = number == 0;
    if (fresh) {
      number = 1;
      while (taken.contains(number)) ++number;
      taken.insert(number);
      numberOf.insert(device, number);
    }
    const QString description = port.description().isEmpty() ? QStringLiteral("Port szeregowy") : port.description();
    entries.append({QStringLiteral("COM%1: = %2 (%3)").arg(number).arg(description, port.portName()), number,
                    port.systemLocation(), fresh});
  }
#endif
  return entries;
}

bool RememberPortAlias(const QString& settingsFile, int number, const QString& device, QString* problem) {
  return SetIniValue(settingsFile, kPortsSection, QStringLiteral("COM%1").arg(number).toLatin1().constData(),
                     device.toLocal8Bit(), problem);
}

#ifdef Q_OS_UNIX
namespace {

// The effective ids decide, as they do when the port is opened; plain
// access() would ask about the real ids instead.
int AccessError(const QString& device) {
  if (::faccessat(AT_FDCWD, QFile::encodeName(device).constData(), R_OK | W_OK, AT_EACCESS) == 0) return 0;
  return errno;
}

}  // namespace

bool PortAccessible(const QString& device) { return AccessError(device) == 0; }

bool PortAccessDenied(const QString& device) {
  const int error = AccessError(device);
  return error == EACCES || error == EPERM;
}

QString PortAccessAdvice(const QString& device) {
  QString group = QStringLiteral("dialout");
  struct stat info {};
  // Joining root's group is no advice to give, nor a group that may not
  // both read and write the device.
  if (::stat(QFile::encodeName(device).constData(), &info) == 0 && info.st_gid != 0 &&
      (info.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
    if (const struct group* owner = ::getgrgid(info.st_gid)) group = QString::fromLocal8Bit(owner->gr_name);
  }
  return QString::fromUtf8(
             "Brak uprawnień do portu %1: dodaj użytkownika do grupy %2 (sudo usermod -aG %2 $USER) i "
             "zaloguj się ponownie")
      .arg(device, group);
}
#else
bool PortAccessible(const QString&) { return true; }
bool PortAccessDenied(const QString&) { return false; }
QString PortAccessAdvice(const QString& device) { return QString::fromUtf8("Brak uprawnień do portu %1").arg(device); }
#endif
