#include "core/sites.h"

#include <QCollator>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <algorithm>

#include "common/application_directory.h"
#include "common/file_names.h"
#include "common/private_file.h"
#include "core/ini_file.h"
#include "core/instance_lock.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/store_errors.h"

namespace {

constexpr const char* kSection = "site";

QString SettingsFile(const QString& directory) { return QDir(directory).filePath(QString::fromLatin1(kSettingsFileName)); }

QString Text(const QString& directory, const char* key) {
  return QString::fromUtf8(IniValue(SettingsFile(directory), kSection, key));
}

QDateTime Time(const QString& directory, const char* key) {
  return QDateTime::fromString(Text(directory, key), Qt::ISODate);
}

bool Set(const QString& directory, const char* key, const QString& value, QString* problem) {
  return SetIniValue(SettingsFile(directory), kSection, key, value.toUtf8(), problem);
}

// A site a window or a command has open is not moved from under it. The
// lock is let go before the move: its file goes with the directory.
bool InUse(const Site& site) {
  InstanceLock lock(site.directory);
  return !lock.TryLock(0);
}

QString NameOf(const QString& directory, const QString& fallback) {
  const QString typed = Text(directory, "name").trimmed();
  return typed.isEmpty() ? fallback : typed;
}

}  // namespace

QString SitesRoot() {
  const QString given = qEnvironmentVariable("SELVANTRIX_SITES");
  return given.isEmpty() ? QDir(PerUserDataDirectory()).filePath(QString::fromLatin1(kSitesFolder)) : given;
}

QString SiteNameProblem(const QString& name) {
  if (name.trimmed().isEmpty()) return QString::fromUtf8("Nazwa obiektu nie może być pusta");
  if (name.size() > kSiteNameLength) {
    return QString::fromUtf8("Nazwa obiektu może mieć najwyżej %1 znaków").arg(kSiteNameLength);
  }
  if (name != name.trimmed()) return QString::fromUtf8("Nazwa obiektu nie może zaczynać się ani kończyć odstępem");
  for (const QChar c : name) {
    if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format) {
      return QString::fromUtf8("Nazwa obiektu nie może zawierać znaków sterujących");
    }
  }
  if (name.contains(u'/') || name.contains(u'\\') || name.contains(QLatin1String("..")) || name == u".") {
    return QString::fromUtf8("Nazwa obiektu nie może zawierać \"/\", \"\\\" ani \"..\"");
  }
  return QString();
}

std::vector<Site> ListSites(const QString& mainDirectory) {
  std::vector<Site> sites{{NameOf(mainDirectory, QString::fromUtf8(kMainSiteName)), mainDirectory, true}};
  const QDir root(SitesRoot());
  std::vector<Site> others;
  for (const QString& entry : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    const QString directory = root.filePath(entry);
    // The main directory may itself sit among the sites' folders: listed once.
    if (QFileInfo(directory).canonicalFilePath() == QFileInfo(mainDirectory).canonicalFilePath()) continue;
    others.push_back({NameOf(directory, entry), directory, false});
  }
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::sort(others.begin(), others.end(), [&](const Site& a, const Site& b) { return collator.compare(a.name, b.name) < 0; });
  sites.insert(sites.end(), others.begin(), others.end());
  return sites;
}

bool FindSite(const QString& mainDirectory, const QString& name, Site* site) {
  for (const Site& s : ListSites(mainDirectory)) {
    if (s.name.compare(name, Qt::CaseInsensitive) == 0 ||
        (s.main && name.compare(QString::fromUtf8(kMainSiteName), Qt::CaseInsensitive) == 0)) {
      *site = s;
      return true;
    }
  }
  return false;
}

QString UnknownSiteMessage(const QString& mainDirectory, const QString& name) {
  QStringList names;
  for (const Site& s : ListSites(mainDirectory)) names << s.name;
  return QString::fromUtf8("Nie ma obiektu \"%1\". Obiekty: %2").arg(name, names.join(QStringLiteral(", ")));
}

SiteFacts ReadSiteFacts(const QString& directory) {
  SiteFacts facts;
  facts.notes = Text(directory, "notes");
  facts.lastBackup = Time(directory, "last_backup");
  facts.lastBackupFile = Text(directory, "last_backup_file");
  facts.lastVerify = Time(directory, "last_verify");
  facts.lastVerifyResult = Text(directory, "last_verify_result");
  facts.verifyDifferences = Text(directory, "last_verify_differences") == u"1";
  return facts;
}

bool RecordBackup(const QString& directory, const QString& file, const QDateTime& when, QString* problem) {
  return Set(directory, "last_backup", when.toUTC().toString(Qt::ISODate), problem) &&
         Set(directory, "last_backup_file", QFileInfo(file).absoluteFilePath(), problem);
}

bool RecordVerify(const QString& directory, const QString& result, bool differences, const QDateTime& when,
                  QString* problem) {
  return Set(directory, "last_verify", when.toUTC().toString(Qt::ISODate), problem) &&
         Set(directory, "last_verify_result", result, problem) &&
         Set(directory, "last_verify_differences", differences ? QStringLiteral("1") : QStringLiteral("0"), problem);
}

QString NewSiteNameProblem(const QString& mainDirectory, const QString& name, const QString& ownDirectory) {
  if (QString problem = SiteNameProblem(name); !problem.isEmpty()) return problem;
  Site other;
  if (FindSite(mainDirectory, name, &other) && other.directory != ownDirectory) {
    return QString::fromUtf8("Obiekt \"%1\" już istnieje").arg(other.name);
  }
  return QString();
}

QString AddSite(const QString& mainDirectory, const QString& name, const QString& notes, const Site* templateSite) {
  if (QString problem = NewSiteNameProblem(mainDirectory, name); !problem.isEmpty()) return problem;
  const QString directory = QDir(SitesRoot()).filePath(name);
  if (QFileInfo::exists(directory)) return QString::fromUtf8("Katalog \"%1\" już istnieje").arg(directory);
  if (!MakePrivateDirectory(SitesRoot()) || !MakePrivateDirectory(directory)) {
    return QString::fromUtf8("Nie można utworzyć katalogu \"%1\"").arg(directory);
  }
  QString problem;
  if (!Set(directory, "name", name, &problem) || (!notes.isEmpty() && !Set(directory, "notes", notes, &problem))) {
    return problem;
  }
  Session session(directory);
  if (QString failure = session.Create(); !failure.isEmpty()) return failure;
  if (templateSite) {
    Session from(templateSite->directory);
    if (QString failure = from.Create(); !failure.isEmpty()) return failure;
    for (const char* key : {kKeyPort, kKeyRelayTime, kKeyAdminPhone}) {
      QString value;
      if (FindSetting(from, key, &value)) UpsertSetting(session, key, value);
    }
    // The port's device, when the template maps its COM number to one.
    QString port;
    if (FindSetting(from, kKeyPort, &port)) {
      const QByteArray key = "COM" + port.trimmed().toLatin1();
      const QByteArray device = IniValue(SettingsFile(templateSite->directory), "ports", key.constData());
      if (!device.isEmpty() && !SetIniValue(SettingsFile(directory), "ports", key.constData(), device, &problem)) {
        return problem;
      }
    }
  }
  return QString();
}

QString RenameSite(const QString& mainDirectory, const QString& from, const QString& to) {
  Site site;
  if (!FindSite(mainDirectory, from, &site)) return UnknownSiteMessage(mainDirectory, from);
  if (InUse(site)) return QString::fromUtf8(kAlreadyRunningMessage);
  if (QString problem = NewSiteNameProblem(mainDirectory, to, site.directory); !problem.isEmpty()) return problem;
  QString directory = site.directory;
  // The main site keeps its directory, which is the program's; the others
  // are named by their folders.
  if (!site.main && QFileInfo(site.directory).fileName() != to) {
    directory = QDir(SitesRoot()).filePath(to);
    const bool caseOnly = QFileInfo(site.directory).fileName().compare(to, Qt::CaseInsensitive) == 0;
    if (!caseOnly && QFileInfo::exists(directory)) return QString::fromUtf8("Katalog \"%1\" już istnieje").arg(directory);
    if (!QDir().rename(site.directory, directory)) {
      return QString::fromUtf8("Nie można przenieść katalogu \"%1\" do \"%2\"").arg(site.directory, directory);
    }
  }
  QString problem;
  if (!Set(directory, "name", to, &problem)) return problem;
  return QString();
}

QString RemoveSite(const QString& mainDirectory, const QString& name, QString* movedTo) {
  Site site;
  if (!FindSite(mainDirectory, name, &site)) return UnknownSiteMessage(mainDirectory, name);
  if (site.main) return QString::fromUtf8("Obiektu \"%1\" nie można usunąć: to katalog programu").arg(site.name);
  if (InUse(site)) return QString::fromUtf8(kAlreadyRunningMessage);
  const QString removed = QDir(SitesRoot()).filePath(QStringLiteral("../") + QString::fromUtf8(kRemovedSitesFolder));
  if (!MakePrivateDirectory(removed)) return QString::fromUtf8("Nie można utworzyć katalogu \"%1\"").arg(removed);
  const QString target = QDir::cleanPath(QDir(removed).filePath(
      QFileInfo(site.directory).fileName() + QDateTime::currentDateTime().toString(QStringLiteral("-yyyyMMdd-HHmmss"))));
  if (QFileInfo::exists(target) || !QDir().rename(site.directory, target)) {
    return QString::fromUtf8("Nie można przenieść katalogu \"%1\" do \"%2\"").arg(site.directory, target);
  }
  if (movedTo) *movedTo = target;
  return QString();
}
