// The command line's backup, restore and sync against the simulator.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <csignal>
#include <set>

#include "cli/testing/cli_test.h"
#include "common/slot_text.h"
#include "controller/backup.h"
#include "serial/testing/sim_session.h"

namespace {

// The lines a command sent besides the phonebook reads.
std::vector<std::string> WritesOf(const std::vector<std::string>& received) {
  std::vector<std::string> writes;
  for (const std::string& line : received) {
    if (!line.starts_with("AT+CPBR=")) writes.push_back(line);
  }
  return writes;
}

// Everything a backup covers, as the simulator holds it.
struct ControllerState {
  std::vector<std::string> numbers;  // slots 001..010
  std::string controllerPhone, hostIp, host;
  int relay = 0;
  bool operator==(const ControllerState&) const = default;
};

ControllerState StateOf(sim::Simulator& sim) {
  std::lock_guard<std::mutex> lock(sim.mutex());
  ControllerState state;
  for (int slot = 1; slot <= 10; ++slot) state.numbers.push_back(sim.controller().Number(slot));
  state.controllerPhone = sim.controller().Number(1002);
  state.hostIp = sim.controller().Number(1023);
  state.host = sim.controller().Number(1024);
  state.relay = sim.controller().RelayCode();
  return state;
}

// A backup read from one controller and restored into a factory-fresh one
// leaves the second holding what the first did (the host settings only in
// admin mode, where the read asks for them), and the list and the settings
// table untouched.
TEST_F(CliTest, ABackupRestoredIntoAnotherControllerGivesTheSameSlotsAndSettings) {
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    sim::Controller& controller = sim_.controller();
    controller.SetSlot(1, "600100200", "");
    controller.SetSlot(2, "501222333", "");
    controller.SetSlot(3, "+48698765432", "");
    controller.SetSlot(4, "0601", "");
    controller.SetSlot(1002, "698000111", "");
    controller.SetSlot(1023, "192168001010", "");
    controller.SetSlot(1024, "8080", "");
    controller.SetRelayCode(8);
  }
  ASSERT_EQ(Run({"add", "Jan", "Nowak", "511000111"}), 0);
  const struct {
    bool admin;
    const char* settings;  // the backup's lines after the phonebook
    std::vector<std::string> settingLines;
  } cases[] = {
      {false,
       "teladmin=600100200\nczasryg=5\ntelster=698000111\n# end 3 numbers 3 settings\n",
       {"AT+CPBM=1021,8,8;", "AT+CPBM=1012,698000111,698000111;", "AT+CPBW=001,\"600100200\",145,\"600100200\";"}},
      {true,
       "teladmin=600100200\nczasryg=5\ntelster=698000111\nhostip=192168001010\nhost=8080\n"
       "# end 3 numbers 5 settings\n",
       {"AT+CPBM=1021,8,8;", "AT+CPBM=1012,698000111,698000111;", "AT+CPBM=1023,192168001010,192168001010;",
        "AT+CPBM=1024,8080,8080;", "AT+CPBW=001,\"600100200\",145,\"600100200\";"}},
  };
  for (const auto& c : cases) {
    QFile ini(Path("selvantrix.ini"));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(c.admin ? "[option]\nadmin=1\n" : "[option]\nadmin=0\n");
    ini.close();
    const QString file = Path(c.admin ? "admin.txt" : "kopia.txt");
    sim_.ClearReceived();
    ASSERT_EQ(Run({"backup", file}), 0) << err_.toStdString();
    EXPECT_TRUE(WritesOf(sim_.Received()).size() == (c.admin ? 2u : 0u)) << "nothing but reads is sent";
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray text = written.readAll();
    EXPECT_TRUE(text.startsWith("# Selvantrix backup ")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(QByteArray("\n002|501222333\n003|+48698765432\n004|0601\n") + c.settings))
        << text.toStdString();
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(out_, "2\tJan\tNowak\t511000111\t0\n") << "the list stays as it was";
    ASSERT_EQ(Run({"config", "show"}), 0);
    EXPECT_FALSE(out_.contains("teladmin")) << "the settings stay as they were: " << out_.toStdString();

    sim::Simulator fresh;
    std::string error;
    ASSERT_TRUE(fresh.Start(&error)) << error;
    QStringList global{"--dir", dir_.path(), "--pin", pin_, "--port", QString::fromStdString(fresh.DevicePath())};
    QTextStream out(&out_), err(&err_);
    err_.clear();
    ASSERT_EQ(RunCli(global + QStringList{"restore", file, "--yes"}, out, err), 0) << err_.toStdString();
    std::vector<std::string> expected{
        "AT+CPBW=002,\"501222333\",145,\"501222333\"", "AT+CPBW=003,\"+48698765432\",145,\"+48698765432\"",
        "AT+CPBW=004,\"0601\",145,\"0601\"", "AT+CPBW=005,\"999999999\",145,\"999999999\""};
    expected.insert(expected.end(), c.settingLines.begin(), c.settingLines.end());
    EXPECT_EQ(fresh.Received(), expected);
    ControllerState original = StateOf(sim_);
    original.numbers[4] = sim::Controller::kCleared;  // the end of the list
    if (!c.admin) original.hostIp = original.host = sim::Controller::kNeverWritten;
    EXPECT_EQ(StateOf(fresh), original);
  }
}

// A sync sends exactly what makes the controller hold the list: deletes
// for what only the controller has, adds for what only the list has, and
// nothing once they agree. A dry run prints that plan and sends no write.
TEST_F(CliTest, ASyncSendsOnlyTheDifferenceAndADryRunSendsNoWrite) {
  ASSERT_EQ(Run({"add", "Jan", "Nowak", "600100200"}), 0);
  ASSERT_EQ(Run({"add", "Ewa", "Lis", "501222333"}), 0);
  ASSERT_EQ(Run({"write", "--all"}), 0) << err_.toStdString();
  // The list moves on without the controller.
  ASSERT_EQ(Run({"--yes", "remove-local", "600100200"}), 0);
  ASSERT_EQ(Run({"add", "Adam", "Kot", "698765432"}), 0);
  ASSERT_EQ(Run({"add", "Ola", "Kot", "511000111"}), 0);
  const struct {
    QStringList args;
    std::vector<std::string> writes;
    const char* out;
    const char* marks;  // the list's ST, by phone order
  } cases[] = {
      {{"sync", "--dry-run"}, {}, "+ 698765432\n+ 511000111\n- 600100200\n", "1 0 0"},
      {{"sync"},
       {"AT+CPBM=1016,600100200,600100200", "AT+CPBM=1015,698765432,698765432", "AT+CPBM=1015,511000111,511000111"},
       "",
       "1 1 1"},
      {{"sync"}, {}, "", "1 1 1"},
      {{"sync", "--dry-run"}, {}, "", "1 1 1"},
  };
  for (const auto& c : cases) {
    sim_.ClearReceived();
    ASSERT_EQ(Run(c.args), 0) << c.args.join(' ').toStdString() << ": " << err_.toStdString();
    EXPECT_EQ(WritesOf(sim_.Received()), c.writes) << c.args.join(' ').toStdString();
    EXPECT_EQ(out_, QString::fromLatin1(c.out)) << c.args.join(' ').toStdString();
    ASSERT_EQ(Run({"list", "--order", "tel"}), 0);
    QStringList marks;
    for (const QString& row : out_.split(u'\n', Qt::SkipEmptyParts)) marks << row.section(u'\t', 4, 4);
    EXPECT_EQ(marks.join(u' '), QString::fromLatin1(c.marks)) << c.args.join(' ').toStdString() << "\n"
                                                              << out_.toStdString();
  }
  std::set<std::string> held;
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    for (int slot = 2; slot <= 10; ++slot) held.insert(sim_.controller().Number(slot));
  }
  held.erase(sim::Controller::kCleared);
  held.erase(sim::Controller::kNeverWritten);
  EXPECT_EQ(held, (std::set<std::string>{"501222333", "511000111", "698765432"}));
}

// A backup file that is not one is refused whole before anything is asked
// or sent, with the line at fault named.
TEST_F(CliTest, AMalformedBackupIsRefusedWithNothingSent) {
  const struct {
    QByteArray text;
    const char* message;  // UTF-8
  } cases[] = {
      {"Jan|Kowalski|600100200\r\n", "nie jest kopią sterownika (brak nagłówka"},
      {"# Selvantrix backup\n002|600100200\n003|600\";AT\n# end 2 numbers 0 settings\n",
       "(wiersz 3: niepoprawny numer telefonu „600\";AT”). Nic nie wysłano."},
      {"# Selvantrix backup\n002|600100200\nczasryg=9\n# end 1 numbers 1 settings\n", "wiersz 3: czas przekaźnika „9” poza zakresem"},
      {"# Selvantrix backup\n002|600100200\nportcom=2\n# end 1 numbers 1 settings\n",
       "wiersz 3: nieznane ustawienie „portcom”"},
      // Cut short by a full disk: restored, it would end the list after 002.
      {"# Selvantrix backup 2026-12-09T18:52:20Z, Selvantrix 0.1.0\n002|600100200\n003|6001002",
       "brak ostatniego wiersza „# end …”"},
  };
  for (const auto& c : cases) {
    QFile file(Path("zla.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(c.text);
    file.close();
    EXPECT_EQ(Run({"--yes", "restore", Path("zla.txt")}), 1) << c.text.toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(c.message))) << err_.toStdString();
    EXPECT_FALSE(err_.contains(QString::fromUtf8(kRestoreQuestion))) << "nothing is asked";
  }
  EXPECT_EQ(Run({"--yes", "restore", Path("brak.txt")}), 1);
  EXPECT_TRUE(err_.contains(QString::fromUtf8("Nie można odczytać pliku"))) << err_.toStdString();
  EXPECT_TRUE(sim_.Received().empty());
}

// Refused or unanswered, each of them ends with status 1, and a backup
// leaves no file behind.
TEST_F(CliTest, BackupRestoreAndSyncFailOnARefusingOrSilentController) {
  QFile file(Path("kopia.txt"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "# Selvantrix backup\n002|600100200\n003|600100203\n004|600100204\nteladmin=600100200\n"
      "# end 3 numbers 1 settings\n");
  file.close();
  ASSERT_EQ(Run({"add", "Jan", "Nowak", "501222333"}), 0);
  sim_.Stop();
  std::set<long long> everyLine;
  for (long long n = 1; n <= 100; ++n) everyLine.insert(n);
  const sim::Simulator::Options modes[] = {sim::Simulator::Options{.errorOn = everyLine},
                                           sim::Simulator::Options{.errorOn = {4}},
                                           sim::Simulator::Options{.silent = true}};
  const QStringList commands[] = {
      {"backup", Path("nowa.txt")}, {"restore", Path("kopia.txt"), "--yes"}, {"sync"}, {"sync", "--dry-run"}};
  for (const auto& options : modes) {
    for (const QStringList& command : commands) {
      sim::Simulator controller(options);
      std::string error;
      ASSERT_TRUE(controller.Start(&error)) << error;
      {
        // Enough for the fourth line to be a phonebook read or a write.
        std::lock_guard<std::mutex> lock(controller.mutex());
        for (int slot = 2; slot <= 6; ++slot)
          controller.controller().SetSlot(slot, "60010020" + std::to_string(slot), "");
      }
      const QStringList global{"--dir", dir_.path(), "--pin",
                               pin_,    "--port",    QString::fromStdString(controller.DevicePath())};
      out_.clear();
      err_.clear();
      QTextStream out(&out_), err(&err_);
      const std::string what = (options.silent ? "silent: " : "refusing: ") + command.join(' ').toStdString();
      EXPECT_EQ(RunCli(global + command, out, err), 1) << what << "\n" << err_.toStdString();
      EXPECT_FALSE(err_.isEmpty()) << what;
      EXPECT_FALSE(QFile::exists(Path("nowa.txt"))) << what;
    }
  }
}

// Ctrl+C in the middle of a restore or a backup ends it as it ends a
// format. The restore closes the list after the last number it wrote and
// is not told as done; the backup leaves no file.
TEST_F(CliTest, CtrlCDuringARestoreOrABackupStopsItAndEndsCleanly) {
  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli");
  ASSERT_TRUE(QFile::exists(program));
  constexpr int kLastSlot = 2000;
  QByteArray backup = "# Selvantrix backup\n";
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    for (int slot = 2; slot <= kLastSlot; ++slot) {
      const QByteArray number = QByteArray::number(500000000 + slot);
      sim_.controller().SetSlot(slot, number.toStdString(), "");
      backup += SlotText(slot).toLatin1() + '|' + number + '\n';
    }
  }
  backup += "czasryg=3\nteladmin=600100200\n# end 1999 numbers 2 settings\n";
  QFile file(Path("kopia.txt"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(backup);
  file.close();
  const struct {
    const char* name;
    QStringList command;
    bool restore;
  } cases[] = {
      {"restore", {"--yes", "restore", Path("kopia.txt")}, true},
      {"backup", {"backup", Path("nowa.txt")}, false},
  };
  for (const auto& c : cases) {
    sim_.ClearReceived();
    QProcess cli;
    cli.start(program,
              QStringList{"--dir", dir_.path(), "--pin", pin_, "--port", QString::fromStdString(sim_.DevicePath())} +
                  c.command);
    ASSERT_TRUE(cli.waitForStarted()) << c.name;
    for (int i = 0; i < 500 && sim_.Received().size() < 20; ++i) QThread::msleep(10);
    ASSERT_GE(sim_.Received().size(), 20u) << c.name;
    ::kill(pid_t(cli.processId()), SIGINT);
    ASSERT_TRUE(cli.waitForFinished(20000)) << c.name;
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit) << c.name;
    EXPECT_EQ(cli.exitCode(), 1) << c.name;
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_TRUE(err.contains("Przerwano.")) << c.name << ": " << err.toStdString();
    EXPECT_FALSE(err.contains("Odtworzono")) << c.name << ": " << err.toStdString();
    const std::vector<std::string> received = sim_.Received();
    EXPECT_LT(received.size(), size_t(kLastSlot - 1)) << c.name << ": the loop stopped";
    if (c.restore) {
      EXPECT_EQ(received.back(),
                "AT+CPBW=" + SlotText(int(received.size()) + 1).toStdString() + ",\"999999999\",145,\"999999999\"")
          << "the list ends after the last number written";
    } else {
      EXPECT_TRUE(WritesOf(received).empty()) << c.name;
      EXPECT_FALSE(QFile::exists(Path("nowa.txt"))) << "an interrupted backup leaves no file";
    }
    QThread::msleep(100);
    EXPECT_EQ(sim_.Received().size(), received.size()) << c.name << ": nothing more came after the end";
  }
}

}  // namespace
