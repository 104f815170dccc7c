#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTextStream>

class Progress;
class TerminalUi;

// The commands --all-sites runs: backup DIR, verify, sync --dry-run.
bool RunsOnAllSites(const QString& command, const QStringList& args);

// Runs `command` on every site, each in a process of its own with the same
// PIN; prints one line per site (name, "ok" or "błąd", its outcome line).
// 0 only when every site succeeded. A backup goes to DIR/<site>-<date>.txt.
int RunOnAllSites(const QString& mainDirectory, const QString& pin, const QString& command, const QStringList& args,
                  QTextStream& out, TerminalUi& ui, Progress& progress, const QDate& today);
