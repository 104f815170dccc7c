#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QTextStream>

class Link;
class Progress;
class Session;
class TerminalUi;

// Bad usage: exit status 2, with the usage text after the problem.
struct Usage {
  QString problem;
};

struct Call;

// One command: its line of the usage text, which is also what a handler
// complains with when the words do not fit, and what runs it, returning the
// exit status.
struct Command {
  const char* name;
  const char* usage;
  const char* help;  // nullptr: the usage line says it all
  int (*run)(Call&);
};

// What a handler works with: the run, its link, the terminal and the
// command's progress, standard output, and the words after the command name.
struct Call {
  const Command& command;
  Session& session;
  Link& link;
  TerminalUi& ui;
  Progress& progress;
  QTextStream& out;
  const QStringList& args;
  // The workspace's own directory, the first site, whichever site runs.
  QString mainDirectory;
};

// Options of a command: "--name value" pairs and flags, the rest positional.
struct Options {
  QMap<QString, QString> values;
  QStringList positional;
  bool Has(const char* option) const { return values.contains(QString::fromLatin1(option)); }
  QString Value(const char* option) const { return values.value(QString::fromLatin1(option)); }
};
Options TakeOptions(const QStringList& args, const QStringList& withValue, const QStringList& flags);
void Expect(const Options& options, int count, const char* what);

// A number given on the command line, by the rule the window's boxes follow
// (blanks and dashes dropped, nothing else but digits after an optional
// "+", never cut). A refused one is named, so a script with many numbers
// tells which; nothing has been done when it is.
bool TakeNumber(TerminalUi& ui, const QString& typed, int minLength, int maxLength, QString* number);

// The commands of the settings, the port and the PIN.
int RunConfig(Call& c);
int RunRemind(Call& c);
int RunPort(Call& c);
int RunPin(Call& c);
int RunSite(Call& c);

const Command* FindCommand(const QString& name);
// Whether the command changes the list, the settings or the controller, or
// takes the port: what keeps it out of a window on the same directory.
bool ChangesSomething(const Command& command, const QStringList& args);
// What every command takes before its name.
inline constexpr const char* kGlobalOptions = "[--dir DIR] [--site NAME | --all-sites] [--port COMn|DEVICE] [--pin PIN] [--pin-file FILE] [--yes] [-v] [--log FILE]";
QString UsageText();
