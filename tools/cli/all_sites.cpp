// --all-sites: one command on every site of the workspace, the sites on
// different ports at the same time, those sharing a port one after another.
#include "cli/all_sites.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTimer>
#include <memory>

#include "cli/terminal.h"
#include "common/private_file.h"
#include "controller/fleet.h"
#include "core/user_interface.h"

namespace {

// This program, also when the commands run inside another (the tests).
QString CliProgram() {
  const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("selvantrix-cli"));
  return QFileInfo::exists(beside) ? beside : QCoreApplication::applicationFilePath();
}

struct Job {
  FleetRow row;
  QStringList args;
  QString result;  // the site's outcome line
  bool ok = false;
  bool done = false;
};

QString LastLine(const QByteArray& text) {
  const QStringList lines = QString::fromUtf8(text).split(u'\n', Qt::SkipEmptyParts);
  return lines.isEmpty() ? QString() : lines.last().trimmed();
}

}  // namespace

bool RunsOnAllSites(const QString& command, const QStringList& args) {
  if (command == QLatin1String("backup") || command == QLatin1String("verify")) return true;
  return command == QLatin1String("sync") && args.contains(QLatin1String("--dry-run"));
}

int RunOnAllSites(const QString& mainDirectory, const QString& pin, const QString& command, const QStringList& args,
                  QTextStream& out, TerminalUi& ui, Progress& progress, const QDate& today) {
  QStringList rest = args;
  QString backupDir;
  if (command == QLatin1String("backup")) {
    const qsizetype at = std::find_if(rest.begin(), rest.end(), [](const QString& a) { return !a.startsWith(u'-'); }) - rest.begin();
    if (at >= rest.size()) {
      ui.Say(QString::fromUtf8("backup --all-sites potrzebuje katalogu na kopie"));
      return 2;
    }
    backupDir = rest.takeAt(at);
    if (!MakePrivateDirectory(backupDir)) {
      ui.Say(QString::fromUtf8("Nie można utworzyć katalogu \"%1\"").arg(backupDir));
      return 1;
    }
  }
  std::vector<std::unique_ptr<Job>> jobs;
  QMap<QString, std::vector<Job*>> byPort;  // a queue per line
  for (const FleetRow& row : ReadFleet(mainDirectory, today)) {
    auto job = std::make_unique<Job>();
    job->row = row;
    job->args = QStringList{QStringLiteral("--dir"), row.site.directory, QStringLiteral("--yes"), command} + rest;
    if (!backupDir.isEmpty()) {
      job->args << QDir(backupDir).filePath(row.site.name + u'-' + today.toString(Qt::ISODate) + QStringLiteral(".txt"));
    }
    if (row.Damaged()) {
      job->done = true;
      job->result = row.attention.join(QStringLiteral("; "));
    } else {
      byPort[row.portKey.isEmpty() ? row.site.directory : row.portKey].push_back(job.get());
    }
    jobs.push_back(std::move(job));
  }

  QEventLoop loop;
  int running = 0;
  std::vector<std::unique_ptr<QProcess>> processes;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("SELVANTRIX_PIN"), pin);
  std::function<void(std::vector<Job*>*)> startNext = [&](std::vector<Job*>* queue) {
    if (queue->empty()) return;
    Job* job = queue->front();
    queue->erase(queue->begin());
    auto process = std::make_unique<QProcess>();
    QProcess* p = process.get();
    p->setProcessEnvironment(environment);
    QObject::connect(p, &QProcess::finished, &loop, [&, p, job, queue](int code, QProcess::ExitStatus status) {
      const QString line = LastLine(p->readAllStandardError());
      job->ok = status == QProcess::NormalExit && code == 0;
      job->result = line.isEmpty() ? QString::fromUtf8("zakończono z kodem %1").arg(code) : line;
      job->done = true;
      --running;
      startNext(queue);
      if (running == 0) loop.quit();
    });
    QObject::connect(p, &QProcess::errorOccurred, &loop, [&, p, job, queue](QProcess::ProcessError error) {
      if (error != QProcess::FailedToStart) return;
      job->result = QString::fromUtf8("nie można uruchomić: ") + p->errorString();
      job->done = true;
      --running;
      startNext(queue);
      if (running == 0) loop.quit();
    });
    ++running;
    p->start(CliProgram(), job->args);
    processes.push_back(std::move(process));
  };
  for (auto it = byPort.begin(); it != byPort.end(); ++it) startNext(&it.value());
  // Ctrl+C stops every site's command; each ends as a cancel would.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
    if (!progress.Cancelled()) return;
    for (auto& p : processes) {
      if (p->state() != QProcess::NotRunning) p->terminate();
    }
  });
  watch.start(100);
  if (running > 0) loop.exec();

  int failed = 0;
  for (const auto& job : jobs) {
    if (!job->ok) ++failed;
    out << job->row.site.name << u'\t' << (job->ok ? QStringLiteral("ok") : QString::fromUtf8("błąd")) << u'\t'
        << job->result << u'\n';
  }
  out.flush();
  ui.Say(failed == 0 ? QString::fromUtf8("Wszystkie obiekty: %1").arg(jobs.size())
                     : QString::fromUtf8("Nie powiodło się na %1 z %2 obiektów").arg(failed).arg(jobs.size()));
  return failed == 0 ? 0 : 1;
}
