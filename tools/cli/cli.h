#pragma once

#include <QStringList>
#include <QTextStream>

// selvantrix-cli: the configurator's commands without the window, through the
// very functions the window calls. Returns the exit status, from what the
// command returned: 0 done, 1 not everything was done, 2 bad usage, 3 a
// question whose NIE means "do nothing" was answered NIE. `handleSignals`
// makes Ctrl+C act as "ANULUJ" (the program does; in-process tests do not).
int RunCli(const QStringList& args, QTextStream& out, QTextStream& err, bool handleSignals = false);
