#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Files that hold phone numbers (the database, logs, backups, list files)
// are personal data: whatever the program creates is for its owner only,
// and a file it replaces is replaced whole or not at all.

// Creates `path` (and the folders above it) when missing; the folders it
// creates are 0700, one that exists keeps its mode. False when it cannot.
bool MakePrivateDirectory(const QString& path);

// Puts `bytes` into `path` whole: into a new file beside it, every write
// and the flush checked, renamed over `path` only then, so a full disk or a
// kill leaves the older file as it was. A new file is 0600, a replaced one
// keeps its mode; a link is followed to the file it names. A pipe or a
// device is written into, as a rename would put a plain file in its place.
// On failure `cause` holds the system's reason (strerror's words).
bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* cause);

// Opens `file` for appending text, created 0600 when it does not exist.
bool OpenPrivateAppend(QFile& file);
