// A verify of every site at once against the same verifies one after the
// other: five sites, each on its own simulated controller behind a paced
// pseudo-terminal, run through selvantrix-cli as an installer runs them.
// Printed: the wall time of `--all-sites verify` against the slowest single
// verify of the same run (the floor when the ports work in parallel; aim:
// within 1.2x) and against the sum of the five (aim: under 0.3x).
//
//   build/bin/fleet_bench [--sites N] [--numbers N] [--baud N]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/access_lock.h"
#include "sim/simulator.h"

namespace {

[[noreturn]] void Die(const QString& why) {
  std::fprintf(stderr, "fleet_bench: %s\n", why.toUtf8().constData());
  std::exit(1);
}

QString Cli() { return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("selvantrix-cli")); }

// Runs the CLI; its wall time in milliseconds, or dies with what it said.
double Run(const QStringList& args, bool mustSucceed = true) {
  QProcess cli;
  QElapsedTimer timer;
  timer.start();
  cli.start(Cli(), args);
  if (!cli.waitForFinished(600000)) Die(QStringLiteral("selvantrix-cli did not end: ") + args.join(u' '));
  const double ms = double(timer.nsecsElapsed()) / 1e6;
  if (mustSucceed && (cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0)) {
    Die(args.join(u' ') + QStringLiteral(": ") + QString::fromUtf8(cli.readAllStandardError()));
  }
  return ms;
}

int Option(const QStringList& args, const char* name, int fallback) {
  const qsizetype at = args.indexOf(QString::fromLatin1(name));
  return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  const int sites = Option(args, "--sites", 5);
  const int numbers = Option(args, "--numbers", 40);
  const int baud = Option(args, "--baud", 19200);

  QTemporaryDir workspace;
  qputenv("SELVANTRIX_SITES", QDir(workspace.path()).filePath("obiekty").toUtf8());
  const QString main = QDir(workspace.path()).filePath("main");
  const QStringList global{QStringLiteral("--dir"), main, QStringLiteral("--pin"), DailyServiceCode(QDate::currentDate())};

  std::vector<std::unique_ptr<sim::Simulator>> controllers;
  QStringList names;
  for (int i = 0; i < sites; ++i) {
    sim::SimulatorOptions options;
    options.paceBaud = baud;
    auto controller = std::make_unique<sim::Simulator>(options);
    for (int slot = 2; slot < 2 + numbers; ++slot) {
      controller->controller().SetSlot(slot, std::to_string(600100000 + i * 1000 + slot), "");
    }
    std::string error;
    if (!controller->Start(&error)) Die(QString::fromStdString(error));
    // The workspace's own directory is the first site.
    const QString name = i == 0 ? QString::fromUtf8("Główny") : QStringLiteral("Brama %1").arg(i);
    if (i > 0) Run(global + QStringList{"site", "add", name});
    Run(global + QStringList{"--site", name, "port", "set", QString::fromStdString(controller->DevicePath())});
    names << name;
    controllers.push_back(std::move(controller));
  }

  double slowest = 0, sum = 0;
  for (const QString& name : names) {
    const double ms = Run(global + QStringList{"--site", name, "verify"});
    slowest = std::max(slowest, ms);
    sum += ms;
  }
  const double all = Run(global + QStringList{"--all-sites", "verify"});
  std::printf("fleet verify: %d sites, %d numbers each, %d baud\n", sites, numbers, baud);
  std::printf("  one after another: %.0f ms (slowest single %.0f ms)\n", sum, slowest);
  std::printf("  --all-sites:       %.0f ms\n", all);
  std::printf("  against the slowest single: %.2fx (aim: within 1.2x)\n", all / slowest);
  std::printf("  against the sum:            %.2fx (aim: under 0.3x)\n", all / sum);
  return 0;
}
