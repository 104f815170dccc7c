#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

#include "core/result.h"

class Link;
class Progress;

inline constexpr const char* kRestoreQuestion = "Operacja zastąpi listę w sterowniku. Czy kontynuować?";

// What a backup holds: the controller's phonebook slots from 002 with their
// numbers as the controller sent them, and its settings under the settings
// table's keys ("teladmin", "czasryg", ...), each in the order read.
struct ControllerBackup {
  QList<std::pair<int, QString>> phonebook;
  QList<std::pair<QString, QString>> settings;

  bool operator==(const ControllerBackup&) const = default;
};

// The backup file's text: a header line with `made` (UTC) and the program
// version, then "002|600100200" a slot and "czasryg=2" a setting, each on a
// line of its own ended by LF.
QByteArray BackupText(const ControllerBackup& backup, const QDateTime& made);

// The backup a file's text holds. False, with the line at fault named in
// `problem`, for anything that is not such a file: a restore must not send
// half of a damaged one.
bool ParseBackup(const QByteArray& text, ControllerBackup* backup, QString* problem);

// Reads the controller's phonebook (as a list read does) and its
// configuration (as the configuration read asks it) into `backup`, storing
// nothing in the list or the settings. The port is the caller's to open.
CommandResult ReadBackup(Link& link, Progress& progress, ControllerBackup* backup);

// What a backup saved.
struct BackupResult : CommandResult {
  QString path;
  int numbers = 0;
  int settings = 0;
};
// ReadBackup into the file at `path`, written whole or not at all. A cancel
// or a failure leaves no file.
BackupResult BackupController(Link& link, Progress& progress, const QString& path);

// What a restore wrote.
struct RestoreResult : CommandResult {
  QString path;
  int numbers = 0;       // numbers the controller confirmed
  int numbersHeld = 0;   // numbers the backup holds
  int settings = 0;      // settings the controller confirmed
  int settingsHeld = 0;  // settings the backup holds that a restore sends
};
// Asks kRestoreQuestion, then writes the file's phonebook into slots from
// 002 on with the end-of-list entry after it, as a write of the whole list
// does, and its settings with the configuration write's lines. A file that
// is no backup is refused before anything is asked or sent.
RestoreResult RestoreController(Link& link, Progress& progress, const QString& path);

// What a sync does to make the controller hold exactly the list: numbers
// to add and numbers to delete (as the controller sent them).
struct SyncPlan {
  QStringList add;
  QStringList remove;
};

// What a sync asked first asks once it has read the controller:
// "Synchronizacja dopisze do sterownika 2 numery i usunie z niego 1 numer.
// Czy kontynuować?"
QString SyncQuestion(const SyncPlan& plan);

// What a sync did (or, dry, would do).
struct SyncResult : CommandResult {
  bool dryRun = false;
  SyncPlan plan;
  int added = 0;
  int removed = 0;
  int unchanged = 0;
};
// Reads the controller as a verify does, then deletes the numbers only it
// holds and adds the ones only the list holds. With `dryRun` only the reads
// are sent and the list stays as it is; otherwise each row ends confirmed
// exactly when the controller now holds its number. With `askFirst` a plan
// that changes the controller is put to the user (SyncQuestion) between the
// read and the first change; NIE sends nothing more and leaves the list as
// it is.
SyncResult SyncList(Link& link, Progress& progress, bool dryRun, bool askFirst = false);
