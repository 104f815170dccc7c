// The files the program leaves behind: for their owner only, and whole or
// not at all when the disk fills up.

#include <sys/mount.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <memory>
#include <vector>

#include "cli/testing/cli_test.h"
#include "core/ini_file.h"
#include "core/instance_lock.h"

namespace {

int ModeOf(const QString& path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  file.write(bytes);
}

QByteArray ReadFile(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A tmpfs mounted at `path` for the life of the object, where one can be
// mounted (as root).
class Tmpfs {
 public:
  Tmpfs(const QString& path, const char* options) : path_(QFile::encodeName(path)) {
    mounted_ = QDir().mkpath(path) && ::mount("tmpfs", path_.constData(), "tmpfs", 0, options) == 0;
  }
  ~Tmpfs() {
    if (mounted_) ::umount(path_.constData());
  }
  bool mounted() const { return mounted_; }

 private:
  QByteArray path_;
  bool mounted_ = false;
};

TEST_F(CliTest, EveryFileHoldingNumbersIsTheOwnersOnly) {
  const QString fresh = Path("nowy");
  {
    QTextStream out(&out_), err(&err_);
    ASSERT_EQ(RunCli({"--dir", fresh, "--pin", pin_, "-v", "--log", Path("cli.log"), "add", "Jan", "K", "600100200"},
                     out, err),
              0)
        << err_.toStdString();
  }
  ASSERT_EQ(Run({"add", "Ewa", "Lis", "600100201"}), 0);
  ASSERT_EQ(Run({"export", Path("lista.dat")}), 0);
  ASSERT_EQ(Run({"backup", Path("kopia.txt")}), 0) << err_.toStdString();
  WriteFile(Path("shared.dat"), "");
  ASSERT_EQ(::chmod(QFile::encodeName(Path("shared.dat")).constData(), 0644), 0);
  ASSERT_EQ(Run({"export", Path("shared.dat")}), 0);
  const struct {
    QString path;
    int mode;
  } cases[] = {
      {fresh, 0700},
      {QDir(fresh).filePath("selvantrixx.tdb"), 0600},
      {Path("cli.log"), 0600},
      {Path("selvantrixx.tdb"), 0600},
      {Path("lista.dat"), 0600},
      {Path("kopia.txt"), 0600},
      {Path("shared.dat"), 0644},  // a file that was there keeps its mode
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ModeOf(c.path), c.mode) << c.path.toStdString() << " is " << std::oct << ModeOf(c.path);
  }
  EXPECT_FALSE(ReadFile(Path("shared.dat")).isEmpty());
}

// A tmpfs of a few pages, filled up: what is written there fails with the
// cause and leaves the older file of that name as it was.
TEST_F(CliTest, AFullDiskLeavesTheOlderFileAndEndsWithItsCause) {
  const QString mount = Path("pelny");
  const Tmpfs disk(mount, "size=16k");
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (not root)";
  for (int i = 0; i < 300; ++i) ASSERT_EQ(Run({"add", "A", "B", QString::number(600100000 + i)}), 0);
  const QByteArray older = "Stary|Plik|600999999\r\n";
  const QString list = QDir(mount).filePath("lista.dat");
  const QString backup = QDir(mount).filePath("kopia.txt");
  const QString csv = QDir(mount).filePath("lista.csv"), xlsx = QDir(mount).filePath("lista.xlsx");
  for (const QString& path : {list, backup, csv, xlsx}) WriteFile(path, older);
  // What space is left is far less than the list's 7 kB.
  QByteArray filler(4096, 'x');
  for (int i = 0; i < 8; ++i) WriteFile(QDir(mount).filePath(QStringLiteral("zapchaj%1").arg(i)), filler);
  const struct {
    QStringList args;
    QString path;
  } cases[] = {{{"export", list}, list},
               {{"export", csv}, csv},
               {{"export", xlsx}, xlsx},
               {{"backup", backup, "--past-holes"}, backup}};
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.args), 1) << c.args.join(' ').toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8("brak miejsca na dysku"))) << err_.toStdString();
    EXPECT_EQ(ReadFile(c.path), older) << c.path.toStdString();
    EXPECT_EQ(QDir(mount).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".lista")).size() +
                  QDir(mount).entryList(QDir::Hidden | QDir::Files).filter(QStringLiteral(".kopia")).size(),
              0)
        << "no temporary file is left";
  }
}

// A script gives the PIN where other users cannot see it: a file of its
// own or the environment; --pin shows in ps.
TEST_F(CliTest, AScriptGivesThePinInAFileOrTheEnvironment) {
  WriteFile(Path("pin"), pin_.toUtf8() + "\n");
  WriteFile(Path("zly-pin"), "0000\n");
  const struct {
    QStringList pinArgs;
    const char* environment;  // nullptr: unset
    int status;
  } cases[] = {
      {{"--pin-file", Path("pin")}, nullptr, 0},
      {{"--pin-file", Path("zly-pin")}, nullptr, 1},
      {{"--pin-file", Path("brak")}, nullptr, 1},
      {{}, "env", 0},
      {{"--pin-file", Path("zly-pin")}, "env", 1},  // the file given outright wins
  };
  for (const auto& c : cases) {
    if (c.environment) {
      qputenv("SELVANTRIX_PIN", pin_.toUtf8());
    } else {
      qunsetenv("SELVANTRIX_PIN");
    }
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    EXPECT_EQ(RunCli(QStringList{"--dir", dir_.path()} + c.pinArgs + QStringList{"list"}, outStream, errStream),
              c.status)
        << c.pinArgs.join(' ').toStdString() << ": " << err.toStdString();
  }
  qunsetenv("SELVANTRIX_PIN");
}

// Wrong PINs in a row cost a growing pause, also to separate processes
// on the same directory; the right PIN ends the run.
TEST_F(CliTest, WrongPinsInARowWaitLongerAcrossProcesses) {
  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli");
  const struct {
    QString pin;
    int status;
    qint64 leastMs;
  } runs[] = {{"0000", 1, 0}, {"0000", 1, 1000}, {pin_, 0, 2000}, {pin_, 0, 0}};
  // A pause runs from when the run before counted its wrong PIN, which is
  // after that run started: so each run ends at least its pause after the
  // start of the one before.
  QElapsedTimer clock;
  clock.start();
  qint64 startedBefore = 0;
  for (const auto& run : runs) {
    QProcess cli;
    const qint64 started = clock.elapsed();
    cli.start(program, {"--dir", dir_.path(), "--pin", run.pin, "list"});
    ASSERT_TRUE(cli.waitForFinished(40000));
    EXPECT_EQ(cli.exitCode(), run.status) << cli.readAllStandardError().toStdString();
    EXPECT_GE(clock.elapsed() - startedBefore, run.leastMs) << run.pin.toStdString();
    startedBefore = started;
  }
  EXPECT_FALSE(QFile::exists(Path(".pin_tries"))) << "the right PIN starts the count again";
}

// Lines of numbers from `first` on, as a list file.
QByteArray Numbers(int first, int count) {
  QByteArray lines;
  for (int i = 0; i < count; ++i) lines += "Jan|Nowak|" + QByteArray::number(first + i) + "\r\n";
  return lines;
}

// The numbers `list` prints for the directory, sorted.
QStringList ListedNumbers(const QString& dir, const QString& pin) {
  QString out, err;
  QTextStream outStream(&out), errStream(&err);
  if (RunCli({"--dir", dir, "--pin", pin, "list"}, outStream, errStream) != 0) return {"list failed: " + err};
  QStringList numbers;
  for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts)) numbers << line.section(u'\t', 3, 3);
  numbers.sort();
  return numbers;
}

QStringList SortedNumbers(int first, int count) {
  QStringList numbers;
  for (int i = 0; i < count; ++i) numbers << QString::number(first + i);
  numbers.sort();
  return numbers;
}

// "import --replace" killed at moments spread over its run: each time the
// list is the old one or the new one, whole.
TEST_F(CliTest, AReplacingImportKilledAnywhereLeavesOneListWhole) {
  WriteFile(Path("stara.dat"), Numbers(600100000, 500));
  WriteFile(Path("nowa.dat"), Numbers(700100000, 500));
  ASSERT_EQ(Run({"import", Path("stara.dat")}), 0) << err_.toStdString();
  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli");
  const QString tdb = Path("selvantrixx.tdb");
  const QByteArray start = ReadFile(tdb);
  const QStringList old = SortedNumbers(600100000, 500), fresh = SortedNumbers(700100000, 500);
  auto runKilledAfter = [&](qint64 ms) {
    WriteFile(tdb, start);
    QProcess cli;
    QElapsedTimer clock;
    cli.start(program, {"--dir", dir_.path(), "--pin", pin_, "--yes", "import", Path("nowa.dat"), "--replace"});
    EXPECT_TRUE(cli.waitForStarted());
    clock.start();
    if (ms >= 0) {
      while (clock.elapsed() < ms && cli.state() == QProcess::Running) QThread::usleep(200);
      ::kill(pid_t(cli.processId()), SIGKILL);
    }
    EXPECT_TRUE(cli.waitForFinished(20000));
    return clock.elapsed();
  };
  const qint64 whole = runKilledAfter(-1);
  ASSERT_TRUE(ListedNumbers(dir_.path(), pin_) == fresh);
  int killedMidway = 0;
  for (int trial = 0; trial < 12; ++trial) {
    const qint64 at = whole * trial / 12;
    runKilledAfter(at);
    const QStringList listed = ListedNumbers(dir_.path(), pin_);
    EXPECT_TRUE(listed == old || listed == fresh) << "killed after " << at << " ms: " << listed.size() << " numbers";
    killedMidway += listed == old;
  }
  EXPECT_GT(killedMidway, 0) << "the kills came before the import ended";
}

// On a full disk the replacing import fails, says so, and the old list stays.
TEST_F(CliTest, AReplacingImportOnAFullDiskKeepsTheOldList) {
  const QString mount = Path("pelny");
  const Tmpfs disk(mount, "size=1m");
  if (!disk.mounted()) GTEST_SKIP() << "no tmpfs can be mounted here (not root)";
  const QString dir = QDir(mount).filePath("katalog");
  WriteFile(Path("stara.dat"), Numbers(600100000, 300));
  // More than the room the store keeps ahead of its end after an import.
  WriteFile(Path("nowa.dat"), Numbers(700100000, 3000));
  auto run = [&](const QStringList& args) {
    out_.clear();
    err_.clear();
    QTextStream out(&out_), err(&err_);
    return RunCli(QStringList{"--dir", dir, "--pin", pin_, "--yes"} + args, out, err);
  };
  ASSERT_EQ(run({"import", Path("stara.dat")}), 0) << err_.toStdString();
  QByteArray page(4096, 'x');
  for (int i = 0; i < 300; ++i) {
    QFile filler(QDir(mount).filePath(QStringLiteral("zapchaj%1").arg(i)));
    if (!filler.open(QIODevice::WriteOnly) || filler.write(page) != page.size() || !filler.flush()) break;
  }
  EXPECT_EQ(run({"import", Path("nowa.dat"), "--replace"}), 1);
  EXPECT_TRUE(err_.contains(QString::fromUtf8("Lista pozostaje bez zmian"))) << err_.toStdString();
  const QStringList listed = ListedNumbers(dir, pin_);
  EXPECT_TRUE(listed == SortedNumbers(600100000, 300)) << listed.size() << " numbers";
}

// Eight starts at once, each with the settings file to bring up to date,
// while this process sets keys of its own in it: nothing is lost.
TEST_F(CliTest, ConcurrentStartsAndChangesKeepEverySetting) {
  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli");
  const QString ini = Path("selvantrix.ini");
  ASSERT_EQ(Run({"list"}), 0);
  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    WriteFile(ini, "[option]\r\nreadgap=5\r\nadmin=1\r\n[ports]\r\nCOM3=/dev/ttyUSB7\r\n");
    std::vector<std::unique_ptr<QProcess>> starts;
    for (int i = 0; i < 8; ++i) {
      starts.push_back(std::make_unique<QProcess>());
      starts.back()->start(program, {"--dir", dir_.path(), "--pin", pin_, "list"});
    }
    for (int i = 0; i < 8; ++i) {
      const QByteArray key = "klucz" + QByteArray::number(i);
      EXPECT_TRUE(SetIniValue(ini, "test", key.constData(), QByteArray::number(round)));
    }
    for (auto& start : starts) EXPECT_TRUE(start->waitForFinished(20000));
    const QByteArray text = ReadFile(ini);
    for (const char* line : {"readgap=5", "admin=1", "COM3=/dev/ttyUSB7", "raptime=15"}) {
      EXPECT_TRUE(text.contains(line)) << line << " lost:\n" << text.toStdString();
    }
    for (int i = 0; i < 8; ++i) {
      EXPECT_TRUE(text.contains("klucz" + QByteArray::number(i) + "=" + QByteArray::number(round)))
          << "klucz" << i << " lost:\n" << text.toStdString();
    }
  }
}

// While a window holds the directory, commands that only read still run;
// one that changes something waits for it, then says why it does not.
TEST_F(CliTest, AWindowOnTheDirectoryKeepsChangesOut) {
  const struct {
    QStringList args;
    int status;
  } cases[] = {{{"list"}, 0}, {{"config", "show"}, 0}, {{"add", "Jan", "K", "600100200"}, 1}, {{"format"}, 1}};
  {
    InstanceLock window(dir_.path());
    ASSERT_TRUE(window.TryLock(0));
    for (const auto& c : cases) {
      QElapsedTimer clock;
      clock.start();
      EXPECT_EQ(Run(c.args), c.status) << c.args.join(' ').toStdString() << ": " << err_.toStdString();
      if (c.status == 0) continue;
      EXPECT_TRUE(err_.contains(QString::fromUtf8(kAlreadyRunningMessage))) << err_.toStdString();
      EXPECT_GE(clock.elapsed(), kChangeWaitMs) << "it waited for the lock";
    }
  }
  EXPECT_EQ(Run({"add", "Jan", "K", "600100200"}), 0) << err_.toStdString();
}

}  // namespace

// A spreadsheet's CSV previewed line by line, changing nothing; imported by
// the named columns, strictly or not; exported as a spreadsheet and read back.
TEST_F(CliTest, SpreadsheetsArePreviewedImportedAndExported) {
  QFile file(Path("lista.csv"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("\xEF\xBB\xBFNr;Telefon;Nazwisko\r\n1;600100200;Kowalski\r\n2;5.01111E+08;\"Nowak; Jr\"\r\n3;;\r\n"
             "4;0048 600 100 200;Lis\r\n");
  file.close();
  struct Case {
    QStringList args;
    int status;
    const char* out;     // standard output (UTF-8)
    const char* err;     // what standard error holds
    const char* list;    // the list afterwards
  };
  // clang-format off
  const Case cases[] = {
      {{"import", Path("lista.csv"), "--preview"}, 0,
       "1\theader\tnagłówek: nazwy kolumn\t\tNazwisko\tTelefon\n"
       "2\tok\tnowy numer\t\tKowalski\t600100200\n"
       "3\texcel-number\tarkusz zapisał numer jako liczbę (5.01111E+08), cyfry mogły przepaść: sformatuj kolumnę z "
       "numerami jako tekst i wpisz je ponownie\t\tNowak; Jr\t5.01111E+08\n"
       "4\tinvalid-number\tbrak numeru telefonu\t\t\t\n"
       "5\tduplicate\tten sam numer co w wierszu 2\t\tLis\t0048 600 100 200\n",
       "Podgląd (nic nie zmieniono): do importu: 1; powtórzone w pliku: 1; liczby z arkusza: 1; niepoprawne numery: 1; "
       "plik CSV, separator ;, UTF-8", ""},
      {{"import", Path("lista.csv"), "--strict"}, 1, "", "Nic nie zaimportowano", ""},
      {{"import", Path("lista.csv"), "--columns", "-,-,telefon"}, 1, "", "nie zawiera żadnego wiersza", ""},
      {{"import", Path("lista.csv"), "--columns", "wiek"}, 2, "", "--columns: Nieznana kolumna", ""},
      {{"import", Path("lista.csv")}, 0, "", "Zaimportowano 1 numer, pominięto", "2\t\tKowalski\t600100200\t0\n"},
      {{"export", Path("lista.xlsx")}, 0, "", "Wyeksportowano 1 numer", "2\t\tKowalski\t600100200\t0\n"},
      {{"import", Path("lista.xlsx"), "--preview", "--replace"}, 0,
       "1\theader\tnagłówek: nazwy kolumn\tImię\tNazwisko\tTelefon\n2\tok\tnowy numer\t\tKowalski\t600100200\n",
       "do importu: 1; plik XLSX", "2\t\tKowalski\t600100200\t0\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), c.status) << c.args.join(' ').toStdString() << ": " << err_.toStdString();
    EXPECT_EQ(out_, QString::fromUtf8(c.out)) << c.args.join(' ').toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(c.err))) << c.args.join(' ').toStdString() << ": " << err_.toStdString();
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(out_, QString::fromUtf8(c.list)) << c.args.join(' ').toStdString();
  }
}
