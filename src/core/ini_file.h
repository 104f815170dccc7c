#pragma once

#include <QByteArray>
#include <QString>

// A value of the settings file set as one change among many writers: a
// window, scripts run in parallel, a second start. Under a lock beside the
// file (a QLockFile) the file is read again, the value set in what is on
// disk now, and the file replaced whole, so no writer's keys are lost and a
// kill or a full disk leaves the older file. Nothing is written when the
// file holds the value already. False, with the user's message in
// `problem`, when the file could not be written or the lock not taken.
bool SetIniValue(const QString& path, const char* section, const char* key, const QByteArray& value,
                 QString* problem = nullptr);

// A value of the settings file as its bytes; empty when the file or the key
// is not there.
QByteArray IniValue(const QString& path, const char* section, const char* key);
