#include "cli/cli.h"

#include <QDir>
#include <QFile>

#include "cli/all_sites.h"
#include "cli/commands.h"
#include "core/instance_lock.h"
#include "cli/terminal.h"
#include "common/application_directory.h"
#include "common/private_file.h"
#include "common/file_names.h"
#include "core/access_lock.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/sites.h"
#include "core/user_interface.h"
#include "serial/link.h"

int RunCli(const QStringList& args, QTextStream& out, QTextStream& err, bool handleSignals) {
  QString directory;
  QString port;
  QString pin;
  bool havePin = false;
  bool yes = false;
  bool verbose = false;
  QString logFile;
  QString siteName;
  bool allSites = false;
  int i = 0;
  auto usage = [&](const QString& problem) {
    err << "selvantrix-cli: " << problem << '\n' << UsageText() << Qt::flush;
    return 2;
  };
  for (; i < args.size() && args[i].startsWith(u'-'); ++i) {
    const QString& arg = args[i];
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      out << UsageText() << Qt::flush;
      return 0;
    }
    if (arg == QLatin1String("--yes")) {
      yes = true;
    } else if (arg == QLatin1String("--all-sites")) {
      allSites = true;
    } else if (arg == QLatin1String("-v")) {
      verbose = true;
    } else if (arg == QLatin1String("--dir") || arg == QLatin1String("--port") || arg == QLatin1String("--pin") ||
               arg == QLatin1String("--log") || arg == QLatin1String("--pin-file") || arg == QLatin1String("--site")) {
      if (i + 1 >= args.size()) return usage(arg + QStringLiteral(" needs a value"));
      const QString value = args[++i];
      if (arg == QLatin1String("--pin-file")) {
        // A script's PIN kept where other users cannot read it, unlike a
        // command line, which every user sees in ps.
        QFile file(value);
        if (!file.open(QIODevice::ReadOnly)) {
          err << "selvantrix-cli: cannot read the PIN file " << value << ": " << file.errorString() << Qt::endl;
          return 1;
        }
        pin = QString::fromUtf8(file.readLine()).trimmed();
        havePin = true;
      }
      if (arg == QLatin1String("--log")) logFile = value;
      if (arg == QLatin1String("--dir")) directory = value;
      if (arg == QLatin1String("--site")) siteName = value;
      if (arg == QLatin1String("--port")) port = value;
      if (arg == QLatin1String("--pin")) {
        pin = value;
        havePin = true;
      }
    } else {
      return usage(QStringLiteral("unknown option ") + arg);
    }
  }
  if (i >= args.size()) return usage(QStringLiteral("no command"));
  const Command* command = FindCommand(args[i]);
  if (!command) return usage(QStringLiteral("unknown command ") + args[i]);
  const QStringList rest = args.mid(i + 1);
  // Help needs neither the database nor the PIN.
  if (rest.contains(QLatin1String("--help")) || rest.contains(QLatin1String("-h"))) {
    out << "usage: selvantrix-cli " << kGlobalOptions << ' ' << command->usage << '\n';
    if (command->help) out << "  " << command->help << '\n';
    out << Qt::flush;
    return 0;
  }

  if (allSites && (!siteName.isEmpty() || !RunsOnAllSites(args[i], rest))) {
    return usage(QStringLiteral("--all-sites runs backup DIR, verify or sync --dry-run, without --site"));
  }
  if (directory.isEmpty()) directory = DefaultApplicationDirectory();
  const QString mainDirectory = directory;
  if (!siteName.isEmpty()) {
    // A site is chosen, never made on the fly by a typo.
    Site site;
    if (!FindSite(mainDirectory, siteName, &site)) {
      err << UnknownSiteMessage(mainDirectory, siteName) << Qt::endl;
      return 1;
    }
    directory = site.directory;
  }
  if (!MakePrivateDirectory(directory)) {
    err << "selvantrix-cli: cannot use the directory " << directory << Qt::endl;
    return 1;
  }
  // A command that changes the list, the settings or the controller keeps
  // out of a window on the same directory, and the window out of it. It
  // waits as long as the store waits for a change of another process.
  InstanceLock instance(directory);
  if (!allSites && ChangesSomething(*command, rest) && !instance.TryLock(kChangeWaitMs)) {
    err << QString::fromUtf8(kAlreadyRunningMessage) << Qt::endl;
    return 1;
  }
  Session session(directory);
  const QString failure = session.Create();
  if (!failure.isEmpty()) {
    err << session.FilePath(kDatabaseFileName) << '\n' << failure << Qt::endl;
    return 1;
  }
  Link link(session);
  link.options() = LinkOptionsFrom(ReadSettingsFile(session.FilePath(kSettingsFileName)));
  link.options().portOverride = port;
  TerminalUi ui(err, yes);
  // The device log goes to the terminal (-v), to a file (--log, as the
  // window's "ZAPISZ DO PLIKU" keeps it), or both.
  QFile log(logFile);
  if (!logFile.isEmpty() && !OpenPrivateAppend(log)) {
    err << "selvantrix-cli: cannot write the log " << logFile << ": " << log.errorString() << Qt::endl;
    return 1;
  }
  if (verbose || log.isOpen()) {
    link.onLog = [&err, &log, verbose](const QString& line) {
      if (verbose) err << line << Qt::endl;
      if (log.isOpen()) {
        log.write(line.toUtf8() + '\n');
        log.flush();
      }
    };
  }

  // Nothing is done without the PIN, checked as the window checks it.
  if (!havePin && qEnvironmentVariableIsSet("SELVANTRIX_PIN")) {
    pin = qEnvironmentVariable("SELVANTRIX_PIN");
    havePin = true;
  }
  if (!havePin) pin = ReadPin(err);
  int status = 1;
  const bool ran = RunCommand(ui, [&] {
    if (!CheckAccess(session, ui, pin, session.Today())) return;
    Progress progress(ui);
    InterruptAsCancel interrupt(progress, handleSignals);
    try {
      if (allSites) {
        status = RunOnAllSites(mainDirectory, pin, args[i], rest, out, ui, progress, session.Today());
      } else {
        Call call{*command, session, link, ui, progress, out, rest, mainDirectory};
        status = command->run(call);
      }
    } catch (const Usage& bad) {
      status = usage(bad.problem);
      return;
    }
    if (interrupt.interrupted()) {
      err << "Przerwano." << Qt::endl;
      if (status == 0) status = 1;
    }
  });
  // A failure no command handled (a failing database file) is no success.
  if (!ran || ui.failed) return status == 2 ? 2 : 1;
  return status;
}
