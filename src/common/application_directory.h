#pragma once

#include <QString>

// The program's directory: where the database, the settings file, the language
// file, "log.txt" and the trace directory "logs" live. It is the executable's
// directory; when that is not writable (an installation under /usr, say) it is
// the per-user data location, so nothing the user makes is ever lost to a
// permission error.
QString ApplicationDirectory();

// Chooses and remembers the program's directory. Called once at start by the
// application; tests call it with a temporary directory.
void SetApplicationDirectory(const QString& directory);

// The choice itself: `preferred` when a file can be created there, otherwise
// `fallback` (created when missing).
QString ResolveApplicationDirectory(const QString& preferred, const QString& fallback);

// Where the program's directory goes when the executable's is not writable.
QString PerUserDataDirectory();
