#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

// A gate the installer looks after is a site: a program directory of its
// own (its database, settings file, language file and logs), the same files
// one gate has always had. The program directory is the first site; the
// others are kept under "obiekty/<name>/" in the per-user data directory.
inline constexpr const char* kMainSiteName = "Główny";
inline constexpr const char* kSitesFolder = "obiekty";
inline constexpr const char* kRemovedSitesFolder = "usunięte";
inline constexpr int kSiteNameLength = 60;

struct Site {
  QString name;
  QString directory;
  bool main = false;
};

// Where the sites beside the main one live; the environment's
// SELVANTRIX_SITES names another place (tests, a shared disk).
QString SitesRoot();

// Why `name` cannot name a site (Polish), or an empty text: a "/", "\",
// "..", a control character, blanks around it, an empty name, more than 60
// characters.
QString SiteNameProblem(const QString& name);

// Every site, the main one first, the others by name.
std::vector<Site> ListSites(const QString& mainDirectory);
// Why `name` cannot be given to a site: SiteNameProblem's reasons, or
// another site already has it (any case). The site in `ownDirectory` (one
// being renamed) is no clash with itself.
QString NewSiteNameProblem(const QString& mainDirectory, const QString& name, const QString& ownDirectory = QString());
// The site of that name (any case); false when there is none.
bool FindSite(const QString& mainDirectory, const QString& name, Site* site);
// "Nie ma obiektu "X". Obiekty: Główny, Brama A, …"
QString UnknownSiteMessage(const QString& mainDirectory, const QString& name);

// A site's own facts, kept in the [site] section of its settings file.
struct SiteFacts {
  QString notes;
  QDateTime lastBackup;
  QString lastBackupFile;
  QDateTime lastVerify;
  QString lastVerifyResult;  // the outcome line of the last verify or sync
  bool verifyDifferences = false;
};
SiteFacts ReadSiteFacts(const QString& directory);
// False with why in `problem` when the settings file cannot be written.
bool RecordBackup(const QString& directory, const QString& file, const QDateTime& when, QString* problem = nullptr);
bool RecordVerify(const QString& directory, const QString& result, bool differences, const QDateTime& when,
                  QString* problem = nullptr);

// Each returns an empty text when done, else why not (Polish); nothing is
// changed then. A new site gets an empty database, and, from `templateSite`
// when given, its port, relay time and admin phone.
QString AddSite(const QString& mainDirectory, const QString& name, const QString& notes, const Site* templateSite);
QString RenameSite(const QString& mainDirectory, const QString& from, const QString& to);
// The directory goes to "usunięte/" beside "obiekty/", never deleted.
QString RemoveSite(const QString& mainDirectory, const QString& name, QString* movedTo = nullptr);
