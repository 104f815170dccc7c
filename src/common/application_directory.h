#pragma once

#include <QString>

// The program's directory when none is given: where the database, the
// settings file, the language file, "log.txt" and the trace directory "logs"
// live. It is the executable's directory; when that is not writable (an
// installation under /usr, say) it is the per-user data location, so nothing
// the user makes is ever lost to a permission error. The run's Session holds
// the directory actually in use; this only proposes it.
QString DefaultApplicationDirectory();

// The choice itself: `preferred` when a file can be created there, otherwise
// `fallback` (created when missing).
QString ResolveApplicationDirectory(const QString& preferred, const QString& fallback);

// Where the program's directory goes when the executable's is not writable.
QString PerUserDataDirectory();
