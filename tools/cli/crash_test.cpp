// A killed import followed by more work: the way a user finds a broken file.

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sstream>

#include "core/access_lock.h"
#include "tdb/tdb.h"

namespace {

std::string Tdb(const std::vector<std::string>& args, int* status = nullptr) {
  std::istringstream in;
  std::ostringstream out, err;
  const int rc = RunTdb(args, in, out, err);
  if (status) *status = rc;
  return out.str() + err.str();
}

int LiveRows(const std::string& path) {
  const std::string rows = Tdb({"rows", path, "telefony"});
  return int(std::count(rows.begin(), rows.end(), '\n'));
}

int RunCliProcess(const QStringList& args) {
  QProcess cli;
  cli.start(QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli"), args);
  if (!cli.waitForFinished(60000)) return -1;
  return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
}

TEST(KilledImportTest, TheFileStaysWholeThroughTheNextAddsAndDeletes) {
  QTemporaryDir dir;
  const QString pin = DailyServiceCode(QDate::currentDate());
  const QStringList global{"--dir", dir.path(), "--pin", pin, "--yes"};
  const QString listFile = QDir(dir.path()).filePath("lista.dat");
  {
    QFile file(listFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Names in no particular order, so every chain has work to do.
    for (int i = 0; i < 20000; ++i) {
      file.write(QStringLiteral("Imie%1|Nazwisko%2|%3\r\n")
                     .arg((i * 7919) % 20011)
                     .arg((i * 104729) % 20021)
                     .arg(600000000 + i)
                     .toLatin1());
    }
  }
  const std::string db = QFile::encodeName(QDir(dir.path()).filePath("selvantrixx.tdb")).toStdString();
  // Kill points: the file a little past its first rows, and further on.
  const qint64 growthSteps[] = {4096, 65536, 400000};
  int killedMidway = 0;
  for (qint64 growth : growthSteps) {
    QFile::remove(QFile::decodeName(db.c_str()));
    ASSERT_EQ(RunCliProcess(global + QStringList{"list"}), 0);
    const qint64 start = QFileInfo(QFile::decodeName(db.c_str())).size();

    QProcess import;
    import.start(QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli"),
                 global + QStringList{"import", listFile});
    ASSERT_TRUE(import.waitForStarted());
    while (import.state() == QProcess::Running && QFileInfo(QFile::decodeName(db.c_str())).size() < start + growth) {
      QThread::usleep(200);
    }
    ::kill(pid_t(import.processId()), SIGKILL);
    import.waitForFinished(10000);

    int status = 0;
    EXPECT_EQ(Tdb({"check", db}, &status), "ok\n") << "after the kill at +" << growth;
    const int kept = LiveRows(db);
    if (kept > 0 && kept < 20000) ++killedMidway;

    ASSERT_EQ(RunCliProcess(global + QStringList{"add", "Zenon", "Adamski", "500100200"}), 0);
    ASSERT_EQ(RunCliProcess(global + QStringList{"add", "Adam", "Zalewski", "500100201"}), 0);
    ASSERT_EQ(RunCliProcess(global + QStringList{"remove-local", "500100200"}), 0);
    EXPECT_EQ(Tdb({"check", db}, &status), "ok\n") << "after the next changes, kill at +" << growth;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(LiveRows(db), kept + 1);
  }
  EXPECT_GT(killedMidway, 0) << "no kill landed inside the import";
}

}  // namespace
