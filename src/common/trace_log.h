#pragma once

#include <QString>

// Appends one line to "logs/dlltrace.txt" under `directory`: the date in the
// locale's short format, the time in its long format and the failure text.
// The directory is made when missing and the file is opened and closed for
// each line, so a crash right after still leaves the line on disk. Returns
// false when the line could not be written (there is nobody to tell).
bool TraceLogIn(const QString& directory, const QString& text);

// Where the trace file of `directory` lives.
QString TraceFilePath(const QString& directory);
