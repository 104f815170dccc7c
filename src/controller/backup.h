#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

class Link;
class UserInterface;

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

// Reads the controller's phonebook (as a list read does)
// and its configuration (as the configuration read asks it) into `backup`,
// storing nothing in the list or the settings. False when the controller
// refused or fell silent, or the user cancelled (the user has been told).
bool ReadBackup(Link& link, UserInterface& ui, ControllerBackup* backup);

// ReadBackup into the file at `path`, written whole or not at all. A cancel
// leaves no file and says so as its outcome.
bool BackupController(Link& link, UserInterface& ui, const QString& path);

// Asks kRestoreQuestion, then writes the file's phonebook into slots from
// 002 on with the end-of-list entry after it, as a write of the whole list
// does, and its settings with the configuration write's lines. A file that
// is no backup is refused before anything is asked or sent. True when every
// line was confirmed; a cancel ends it false, with what was written told as
// its outcome.
bool RestoreController(Link& link, UserInterface& ui, const QString& path);

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

// Reads the controller as a verify does, then deletes the numbers only it
// holds and adds the ones only the list holds. With `dryRun` only the reads
// are sent and the list stays as it is; otherwise each row ends confirmed
// exactly when the controller now holds its number. With `askFirst` a plan
// that changes the controller is put to the user (SyncQuestion) between the
// read and the first change; NIE sends nothing more and leaves the list as
// it is. `plan` gets what was (or would be) sent. True when the read and
// every line were confirmed; a cancel ends it false, with what was done
// told as its outcome.
bool SyncList(Link& link, UserInterface& ui, bool dryRun, SyncPlan* plan, bool askFirst = false);
