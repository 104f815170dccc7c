#pragma once

#include <QStringList>
#include <QTextStream>

// selvantrix-cli: the configurator's commands without the window, through the
// very functions the window calls. Returns the exit status: 0 done, 1 the
// command ended with a message, 2 bad usage. `handleSignals` makes Ctrl+C
// act as "ANULUJ" (the program does; in-process tests do not).
int RunCli(const QStringList& args, QTextStream& out, QTextStream& err, bool handleSignals = false);
