#pragma once

// Every file the configurator keeps in its program directory, named once.
// Plain text so the store-only tools can use them without Qt.
inline constexpr const char* kDatabaseFileName = "selvantrixx.tdb";
inline constexpr const char* kSettingsFileName = "selvantrix.ini";
inline constexpr const char* kLanguageFileName = "language.txt";
inline constexpr const char* kDeviceLogFileName = "log.txt";
inline constexpr const char* kTraceFileName = "logs/dlltrace.txt";
// A file an earlier installation kept beside the database; it is removed at
// every start and never read.
inline constexpr const char* kStaleIndexFileName = "telefony.mdx";
