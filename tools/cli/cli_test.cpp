#include "cli/cli.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QFileInfo>
#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "common/slot_text.h"
#include "controller/backup.h"
#include "core/access_lock.h"
#include "serial/testing/sim_session.h"

namespace {

// The command-line front end in-process, against the simulator on its
// pseudo-terminal, in a data directory of its own.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim_.Start(&error)) << error;
  }

  // Runs one command line with the day's PIN and the simulator as port.
  int Run(QStringList args, bool withPort = true) {
    QStringList global{QStringLiteral("--dir"), dir_.path(), QStringLiteral("--pin"), pin_};
    if (withPort) global << QStringLiteral("--port") << QString::fromStdString(sim_.DevicePath());
    out_.clear();
    err_.clear();
    QTextStream out(&out_), err(&err_);
    return RunCli(global + args, out, err);
  }
  QString Path(const char* name) { return QDir(dir_.path()).filePath(name); }

  sim::Simulator sim_;
  QTemporaryDir dir_;
  QString pin_ = DailyServiceCode(QDate::currentDate());
  QString out_, err_;
};

TEST_F(CliTest, AListGoesInOutAndBackWithTheControllersConfirmation) {
  QFile file(Path("lista.dat"));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("Jan|Kowalski|600100200\r\nEwa|Nowak|501222333\r\n");
  file.close();
  ASSERT_EQ(Run({"import", Path("lista.dat")}), 0) << err_.toStdString();
  ASSERT_EQ(Run({"write", "--all"}), 0) << err_.toStdString();
  EXPECT_EQ(sim_.Received(), (std::vector<std::string>{"AT+CPBW=002,\"600100200\",145,\"600100200\"",
                                                       "AT+CPBW=003,\"501222333\",145,\"501222333\"",
                                                       "AT+CPBW=004,\"999999999\",145,\"999999999\""}));
  ASSERT_EQ(Run({"read", "--replace"}), 0) << err_.toStdString();
  ASSERT_EQ(Run({"list", "--order", "tel"}), 0);
  EXPECT_EQ(out_, "3\t\t\t501222333\t1\n2\t\t\t600100200\t1\n");
  EXPECT_EQ(Run({"verify"}), 0) << err_.toStdString();
  EXPECT_EQ(Run({"export", Path("out.dat")}), 0);
  EXPECT_EQ(Run({"add", "Ala", "Lis", "1234"}), 1) << "a short phone is refused";
  EXPECT_TRUE(err_.contains("Niepoprawny numer telefonu"));
}

TEST_F(CliTest, ConfigurationAndEventsGoThroughTheController) {
  ASSERT_EQ(Run({"--yes", "config", "write", "--admin", "600100200", "--controller", "698765432", "--relay", "5"}), 0)
      << err_.toStdString();
  EXPECT_EQ(sim_.Received().front(), "AT+CPBM=1021,8,8;");
  // A fresh directory reads it all back.
  QTemporaryDir other;
  QTextStream out(&out_), err(&err_);
  out_.clear();
  const QStringList global{"--dir", other.path(), "--pin", pin_, "--port", QString::fromStdString(sim_.DevicePath())};
  ASSERT_EQ(RunCli(global + QStringList{"config", "read"}, out, err), 0) << err_.toStdString();
  ASSERT_EQ(RunCli(global + QStringList{"config", "show"}, out, err), 0);
  EXPECT_TRUE(out_.contains("teladmin\t600100200\n")) << out_.toStdString();
  EXPECT_TRUE(out_.contains("telster\t698765432\n"));
  EXPECT_TRUE(out_.contains("czasryg\t5\n"));

  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    sim_.controller().AddEvent("600100200", "2603051230");
  }
  ASSERT_EQ(Run({"events", "1"}), 0) << err_.toStdString();
  EXPECT_EQ(out_, "600100200\t26/03/05 12:30\n");
  EXPECT_EQ(Run({"remind", "2026-03-05"}), 0);
  EXPECT_EQ(sim_.Received().back(), "AT+CPBM=1004,6,2603050000;");
}

TEST_F(CliTest, RefusalsAndBadUsageHaveTheirExitStatus) {
  struct Case {
    QStringList args;
    bool withPort;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"--pin", "0000", "list"}, true, 1, "Niepoprawny pin"},
      {{"verify"}, false, 1, "Brak zdefiniowanego portu COM"},
      {{"write", "600100200"}, true, 1, "Numer 600100200 nie jest na liście"},
      {{"delete"}, true, 2, "give --all or the numbers"},
      {{"bogus"}, true, 2, "unknown command bogus"},
      {{"list", "--order", "age"}, true, 2, "--order is name, surname or tel"},
      {{"config", "write", "--relay", "7"}, true, 2, "--relay is 0 to 6"},
      {{"remind", "5.03.2026"}, true, 2, "YYYY-MM-DD"},
      {{"events", "0"}, true, 1, "Niepoprawna liczba"},
      {{"--dir"}, true, 2, "--dir needs a value"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args, c.withPort), c.status) << c.args.join(' ').toStdString() << ": " << err_.toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(c.message))) << c.args.join(' ').toStdString();
  }
}

// "write --all" writes the whole list from slot 002; "write TEL..." adds
// exactly the numbers given, each of which must be on the list, and touches
// nothing else the controller holds.
TEST_F(CliTest, WriteAddsExactlyTheGivenNumbersOfTheListAndNothingElse) {
  for (const char* tel : {"600100201", "600100202", "600100203"}) ASSERT_EQ(Run({"add", "A", "B", tel}), 0);
  const auto held = [&] {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    std::vector<std::string> numbers;
    for (int slot = 2; slot <= 8; ++slot) numbers.push_back(sim_.controller().Number(slot));
    return numbers;
  };
  {
    // The controller's own numbers, which the list does not have.
    std::lock_guard<std::mutex> lock(sim_.mutex());
    for (int slot = 2; slot <= 4; ++slot) sim_.controller().SetSlot(slot, "50010020" + std::to_string(slot), "");
  }
  const std::string never = sim::Controller::kNeverWritten;
  EXPECT_EQ(Run({"write", "700100100", "700200200"}), 1);
  EXPECT_TRUE(err_.contains(QString::fromUtf8("Numer 700100100 nie jest na liście"))) << err_.toStdString();
  EXPECT_TRUE(err_.contains(QString::fromUtf8("Numer 700200200 nie jest na liście"))) << err_.toStdString();
  EXPECT_TRUE(sim_.Received().empty()) << "nothing sent";

  // As many numbers as the list has rows: still an add of exactly those.
  ASSERT_EQ(Run({"write", "600100201", "600100202", "600100203"}), 0) << err_.toStdString();
  EXPECT_EQ(held(), (std::vector<std::string>{"500100202", "500100203", "500100204", "600100201", "600100202",
                                              "600100203", never}))
      << "the controller's own numbers stay, the three are added after them, no end mark over one";
  EXPECT_EQ(sim_.Received(), (std::vector<std::string>{"AT+CPBM=1015,600100201,600100201",
                                                       "AT+CPBM=1015,600100202,600100202",
                                                       "AT+CPBM=1015,600100203,600100203", "AT+CPBR=005"}));
}

TEST_F(CliTest, HelpIsPrintedWithoutADatabaseOrAPin) {
  const struct {
    QStringList args;
    const char* expect;
  } cases[] = {
      {{"--help"}, "commands:"},
      {{"-h"}, "  events N "},
      {{"import", "--help"}, "] import FILE"},
      {{"config", "-h"}, "] config show | read | write"},
  };
  for (const auto& c : cases) {
    QTemporaryDir fresh;
    out_.clear();
    err_.clear();
    QTextStream out(&out_), err(&err_);
    // No PIN and no port: help asks for neither.
    EXPECT_EQ(RunCli(QStringList{"--dir", fresh.path()} + c.args, out, err), 0) << c.args.join(' ').toStdString();
    EXPECT_TRUE(out_.contains(QString::fromLatin1(c.expect))) << c.args.join(' ').toStdString() << "\n"
                                                               << out_.toStdString();
    EXPECT_TRUE(err_.isEmpty()) << err_.toStdString();
    EXPECT_TRUE(QDir(fresh.path()).isEmpty()) << "help made no database";
  }
}

// A number on the command line follows the rule of the window's boxes: a
// malformed one is named on standard error, ends the command with status 1
// before anything is stored or sent, and a bad option is still bad usage.
TEST_F(CliTest, AMalformedNumberEndsTheCommandBeforeAnythingIsStoredOrSent) {
  ASSERT_EQ(Run({"add", "Jan", "Kowalski", "600100200"}), 0) << err_.toStdString();
  struct Case {
    QStringList args;
    int status;
    const char* message;  // UTF-8
  };
  const Case cases[] = {
      {{"add", "Ala", "Lis", "600\"100"}, 1, "Niepoprawny numer telefonu: 600\"100"},
      {{"add", "Ala", "Lis", "600100200\",145,\"1"}, 1, "Niepoprawny numer telefonu: 600100200\",145,\"1"},
      {{"add", "Ala", "Lis", "60010020a"}, 1, "Niepoprawny numer telefonu: 60010020a"},
      {{"add", "Ala", "Lis", "1234567890123"}, 1, "Niepoprawny numer telefonu: 1234567890123"},
      {{"write", "600100200", "600,100"}, 1, "Niepoprawny numer telefonu: 600,100"},
      {{"write", "600;AT+CPBW=001"}, 1, "Niepoprawny numer telefonu: 600;AT+CPBW=001"},
      {{"delete", "6+00100200"}, 1, "Niepoprawny numer telefonu: 6+00100200"},
      {{"remove-local", "600100200", "abc"}, 1, "Niepoprawny numer telefonu: abc"},
      {{"write", "-600"}, 2, "unknown option -600"},
      {{"--yes", "config", "write", "--admin", "600\"1"}, 1, "Niepoprawny numer telefonu: 600\"1"},
      {{"--yes", "config", "write", "--controller", "6001002001"}, 1, "Niepoprawny numer telefonu: 6001002001"},
      {{"--yes", "config", "write", "--admin", "1234"}, 1, "Niepoprawny numer telefonu: 1234"},
      {{"--yes", "config", "write", "--admin", "6;00", "--relay", "9"}, 2, "--relay is 0 to 6"},
      {{"config", "write", "--admin"}, 2, "--admin needs a value"},
  };
  for (const Case& c : cases) {
    const size_t sent = sim_.Received().size();
    EXPECT_EQ(Run(c.args), c.status) << c.args.join(' ').toStdString() << ": " << err_.toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(c.message))) << c.args.join(' ').toStdString() << ": "
                                                              << err_.toStdString();
    EXPECT_EQ(sim_.Received().size(), sent) << c.args.join(' ').toStdString() << ": nothing is sent";
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(out_, "2\tJan\tKowalski\t600100200\t0\n") << c.args.join(' ').toStdString() << ": the list stays";
  }
  ASSERT_EQ(Run({"config", "show"}), 0);
  EXPECT_FALSE(out_.contains("teladmin")) << out_.toStdString();
}

// Blanks and dashes are how people write numbers; they never reach the
// list or the controller.
TEST_F(CliTest, NumbersAreTakenWithoutTheirBlanksAndDashes) {
  ASSERT_EQ(Run({"add", "Ala", "Lis", "+48 501-222-333"}), 0) << err_.toStdString();
  ASSERT_EQ(Run({"list"}), 0);
  EXPECT_EQ(out_, "2\tAla\tLis\t+48501222333\t0\n");
  EXPECT_EQ(Run({"add", "Ala", "Lis", "+48501 222 333"}), 1);
  EXPECT_TRUE(err_.contains(QString::fromUtf8("Numer jest już na liście: +48501222333"))) << err_.toStdString();
  auto sentLine = [&](const std::string& piece) {
    const std::vector<std::string> lines = sim_.Received();
    return std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
             return line.find(piece) != std::string::npos;
           }) != lines.end();
  };
  ASSERT_EQ(Run({"write", "+48 501 222 333"}), 0) << err_.toStdString();
  EXPECT_TRUE(sentLine("AT+CPBM=1015,+48501222333,+48501222333"));
  ASSERT_EQ(Run({"--yes", "config", "write", "--admin", "600 100-200", "--controller", "698-765-432"}), 0)
      << err_.toStdString();
  ASSERT_EQ(Run({"config", "show"}), 0);
  EXPECT_TRUE(out_.contains("teladmin\t600100200\n")) << out_.toStdString();
  EXPECT_TRUE(out_.contains("telster\t698765432\n")) << out_.toStdString();
  EXPECT_TRUE(sentLine("AT+CPBW=001,\"600100200\",145,\"600100200\""));
  EXPECT_TRUE(sentLine("AT+CPBM=1012,698765432,698765432"));
}

// An import tells what it took and skipped on standard error and succeeds;
// with --strict a skipped line makes it take nothing and fail. A file that
// holds no list, or a write that fails, ends with status 1 and the cause.
TEST_F(CliTest, ListFilesHaveTheirExitStatus) {
  auto write = [&](const char* name, const QByteArray& bytes) {
    QFile file(Path(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  };
  write("mixed.dat", "Jan|Kowalski|600 100 200\r\nZly|Numer|600\",AT\r\nBez pol\r\n");
  write("good.dat", "Ewa|Nowak|501222333\r\n");
  write("empty.dat", "");
  // "Unicode" as an editor saves it: UTF-16 LE behind its mark.
  write("unicode.dat", QByteArray("\xFF\xFE") + QByteArray("A\0l\0a\0|\0L\0i\0s\0|\0" "6\0" "0\0" "1\0\r\0\n\0", 26));
  struct Case {
    QStringList args;
    int status;
    const char* message;  // UTF-8
    const char* list;     // the list afterwards
  };
  const Case cases[] = {
      {{"import", Path("mixed.dat")}, 0,
       "Zaimportowano 1 numer, pominięto 1 wiersz z niepoprawnym numerem telefonu i 1 wiersz z brakującym polem",
       "2\tJan\tKowalski\t600100200\t0\n"},
      {{"import", Path("mixed.dat"), "--strict", "--replace"}, 1, "(pierwszy to wiersz 2). Lista pozostaje bez zmian.",
       "2\tJan\tKowalski\t600100200\t0\n"},
      {{"import", Path("empty.dat"), "--replace"}, 1, "nie zawiera żadnego wiersza do zaimportowania",
       "2\tJan\tKowalski\t600100200\t0\n"},
      {{"import", "/dev/null", "--replace", "--strict"}, 1, "nie zawiera żadnego wiersza do zaimportowania",
       "2\tJan\tKowalski\t600100200\t0\n"},
      {{"import", Path("missing.dat"), "--replace"}, 1, "Nie można odczytać pliku",
       "2\tJan\tKowalski\t600100200\t0\n"},
      {{"import", Path("good.dat"), "--strict"}, 0, "Zaimportowano 1 numer",
       "2\tJan\tKowalski\t600100200\t0\n3\tEwa\tNowak\t501222333\t0\n"},
      {{"import", Path("unicode.dat"), "--replace", "--strict"}, 0, "Zaimportowano 1 numer", "2\tAla\tLis\t601\t0\n"},
      {{"export", Path("out.dat")}, 0, "", "2\tAla\tLis\t601\t0\n"},
      {{"import", Path("good.dat"), "--bogus"}, 2, "unknown option --bogus", "2\tAla\tLis\t601\t0\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), c.status) << c.args.join(' ').toStdString() << ": " << err_.toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(c.message))) << c.args.join(' ').toStdString() << ": "
                                                              << err_.toStdString();
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(out_, QString::fromUtf8(c.list)) << c.args.join(' ').toStdString();
  }
  QFile out(Path("out.dat"));
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  EXPECT_EQ(out.readAll(), "Ala|Lis|601\r\n");

  // A pipe is written into and stays a pipe; only then is the export let at
  // /dev/full, where one that renamed would, run as root, put a file.
  const QByteArray fifo = QFile::encodeName(Path("pipe"));
  ASSERT_EQ(mkfifo(fifo.constData(), 0600), 0);
  const QByteArray same = QFile::encodeName(Path("same-pipe"));  // stays the pipe whatever happens to "pipe"
  ASSERT_EQ(link(fifo.constData(), same.constData()), 0);
  QByteArray received;
  std::thread reader([&] {
    QFile file(QFile::decodeName(same));
    if (file.open(QIODevice::ReadOnly)) received = file.readAll();
  });
  const int status = Run({"export", QFile::decodeName(fifo)});
  const int unblock = ::open(same.constData(), O_WRONLY | O_NONBLOCK);  // a reader left waiting ends
  if (unblock >= 0) ::close(unblock);
  reader.join();
  EXPECT_EQ(status, 0) << err_.toStdString();
  EXPECT_EQ(received, "Ala|Lis|601\r\n");
  struct stat info {};
  ASSERT_EQ(lstat(fifo.constData(), &info), 0);
  ASSERT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(Run({"export", "/dev/full"}), 1);
  EXPECT_TRUE(err_.contains(QString::fromUtf8("Nie można zapisać pliku \"/dev/full\": "))) << err_.toStdString();
  EXPECT_FALSE(QFileInfo("/dev/full").isFile());
}

// "-" is standard input for an import and standard output for an export,
// the list file's bytes as they are.
TEST_F(CliTest, ADashIsStandardInputAndOutput) {
  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli");
  ASSERT_TRUE(QFile::exists(program));
  const QStringList global{"--dir", dir_.path(), "--pin", pin_};
  QProcess import;
  import.start(program, global + QStringList{"import", "-"});
  ASSERT_TRUE(import.waitForStarted());
  import.write("\xa3ucja|Nowak|+48 500 600 700\r\nbez pol\r\n");
  import.closeWriteChannel();
  ASSERT_TRUE(import.waitForFinished(20000));
  EXPECT_EQ(import.exitCode(), 0) << import.readAllStandardError().toStdString();
  EXPECT_TRUE(QString::fromUtf8(import.readAllStandardError())
                  .contains(QString::fromUtf8("Zaimportowano 1 numer, pominięto 1 wiersz z brakującym polem")));

  QProcess exportToOutput;
  exportToOutput.start(program, global + QStringList{"export", "-"});
  ASSERT_TRUE(exportToOutput.waitForFinished(20000));
  EXPECT_EQ(exportToOutput.exitCode(), 0) << exportToOutput.readAllStandardError().toStdString();
  EXPECT_EQ(exportToOutput.readAllStandardOutput(), "\xa3ucja|Nowak|+48500600700\r\n");
}

// Numbers past an empty slot: a read warns and still succeeds, and reads
// on only with --past-holes (--yes alone does not); a controller that
// refuses a line makes the write fail, with the count on standard error.
TEST_F(CliTest, HolesAreWarnedOfAndRefusalsMakeTheCommandFail) {
  {
    std::lock_guard<std::mutex> lock(sim_.mutex());
    sim_.controller().SetSlot(2, "600100200", "");
    sim_.controller().SetSlot(3, sim::Controller::kCleared, "");
    sim_.controller().SetSlot(4, "600100204", "");
  }
  const struct {
    QStringList args;
    int rows;
  } cases[] = {{{"--yes", "read", "--replace"}, 1}, {{"read", "--replace", "--past-holes"}, 2}};
  for (const auto& c : cases) {
    ASSERT_EQ(Run(c.args), 0) << err_.toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8("Za pustym miejscem 003 sterownik ma jeszcze 1 numer"))) << err_.toStdString();
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(out_.count(u'\n'), c.rows) << out_.toStdString();
  }

  sim_.Stop();
  sim::Simulator refusing(sim::Simulator::Options{.errorOn = {1}});
  std::string error;
  ASSERT_TRUE(refusing.Start(&error)) << error;
  QStringList global{QStringLiteral("--dir"), dir_.path(), QStringLiteral("--pin"), pin_, QStringLiteral("--port"),
                     QString::fromStdString(refusing.DevicePath())};
  err_.clear();
  QTextStream out(&out_), err(&err_);
  EXPECT_EQ(RunCli(global + QStringList{"write", "--all"}, out, err), 1);
  EXPECT_TRUE(err_.contains(QString::fromUtf8("Sterownik nie potwierdził 1 z 3 poleceń"))) << err_.toStdString();
}

// Whatever the controller does wrong, every controller command ends with
// status 1 and its message: a script must never take a failure for success.
TEST_F(CliTest, EveryControllerCommandFailsOnARefusingOrSilentController) {
  ASSERT_EQ(Run({"add", "Jan", "Nowak", "600100200"}), 0) << err_.toStdString();
  sim_.Stop();
  std::set<long long> everyLine;
  for (long long n = 1; n <= 100; ++n) everyLine.insert(n);
  const sim::Simulator::Options modes[] = {sim::Simulator::Options{.errorOn = everyLine},
                                           sim::Simulator::Options{.silent = true}};
  const QStringList commands[] = {{"write", "--all"}, {"delete", "--all"}, {"--yes", "format"},
                                  {"read"},           {"verify"},          {"config", "read"},
                                  {"--yes", "config", "write", "--admin", "600100200"},
                                  {"remind", "2027-02-01"},                {"events", "3"}};
  for (const auto& options : modes) {
    for (const QStringList& command : commands) {
      // A controller of its own for each command: the refused lines count from the first.
      sim::Simulator controller(options);
      std::string error;
      ASSERT_TRUE(controller.Start(&error)) << error;
      const QStringList global{QStringLiteral("--dir"), dir_.path(), QStringLiteral("--pin"), pin_,
                               QStringLiteral("--port"), QString::fromStdString(controller.DevicePath())};
      out_.clear();
      err_.clear();
      QTextStream out(&out_), err(&err_);
      EXPECT_EQ(RunCli(global + command, out, err), 1)
          << (options.silent ? "silent: " : "refusing: ") << command.join(' ').toStdString() << "\n"
          << err_.toStdString();
      EXPECT_FALSE(err_.isEmpty()) << command.join(' ').toStdString();
    }
  }
}

TEST_F(CliTest, WhatTheWindowDoesWithoutTheControllerTheCliDoesToo) {
  ASSERT_EQ(Run({"add", "Jan", "Kowalski", "600100200"}), 0);
  ASSERT_EQ(Run({"add", "Ewa", "Kowalczyk", "501222333"}), 0);
  ASSERT_EQ(Run({"add", "Adam", "Nowak", "698765432"}), 0);
  struct Case {
    QStringList args;
    int status;
    const char* out;  // standard output contains it
    const char* err;  // standard error contains it
  };
  const Case cases[] = {
      {{"find", "kowal"}, 0, "Jan\tKowalski\t600100200", ""},
      {{"find", "kowal"}, 0, "Ewa\tKowalczyk\t501222333", ""},
      {{"find", "6987"}, 0, "Adam\tNowak", ""},
      {{"find", "Zenon"}, 1, "", "Nie znaleziono: Zenon"},
      {{"config", "save", "--admin", "600-100-200", "--controller", "698765432", "--relay", "3", "--sim", "2027-01-31"},
       0, "", "Zapisano"},
      {{"config", "show"}, 0, "DateEdit1\t31.01.2027\n", ""},
      {{"config", "show"}, 0, "teladmin\t600100200\n", ""},
      {{"config", "save", "--admin", "12"}, 1, "", "Niepoprawny numer telefonu"},
      {{"config", "write", "--sim", "2027-01-31"}, 2, "", "--sim is for config save"},
      {{"port", "set", "COM4"}, 0, "", "COM4"},
      {{"config", "show"}, 0, "portcom\t4\n", ""},
      {{"port", "set", "COM21"}, 1, "", "COM1"},
      {{"port", "set", "/dev/no-such-port"}, 1, "", "Nie znaleziono portu /dev/no-such-port"},
      {{"port", "list"}, 0, "", ""},
      {{"pin", "set", "--new-pin", "2468"}, 0, "", "Zmieniono PIN"},
      {{"--pin", "2468", "list"}, 0, "Kowalski", ""},
      {{"--pin", "1357", "list"}, 1, "", "Niepoprawny pin"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args, false), c.status) << c.args.join(' ').toStdString() << ": " << err_.toStdString();
    EXPECT_TRUE(out_.contains(QString::fromUtf8(c.out))) << c.args.join(' ').toStdString() << "\n" << out_.toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(c.err))) << c.args.join(' ').toStdString() << "\n" << err_.toStdString();
  }
  EXPECT_TRUE(sim_.Received().empty()) << "nothing of this talks to the controller";
}

TEST_F(CliTest, TheSimDateIsKeptOnlyWhenItIsSentAndTheLogGoesToAFile) {
  // A configuration write offers to save what it sends; it makes up no SIM date.
  ASSERT_EQ(Run({"--yes", "config", "write", "--admin", "600100200", "--controller", "698765432"}), 0)
      << err_.toStdString();
  ASSERT_EQ(Run({"config", "show"}), 0);
  EXPECT_FALSE(out_.contains("DateEdit1")) << out_.toStdString();
  EXPECT_FALSE(out_.contains("portcom")) << out_.toStdString();

  const QString log = Path("urzadzenie.log");
  ASSERT_EQ(Run({"--log", log, "remind", "2027-03-05"}), 0) << err_.toStdString();
  ASSERT_EQ(Run({"config", "show"}), 0);
  EXPECT_TRUE(out_.contains("DateEdit1\t5.03.2027\n")) << out_.toStdString();
  QFile file(log);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray written = file.readAll();
  EXPECT_TRUE(written.contains(QByteArray::fromStdString(sim_.Received().back()))) << written.toStdString();
  EXPECT_EQ(Run({"--log", "/no/such/dir/x.log", "list"}), 1);
}

// Without --yes and with nobody at a terminal, a question that asks whether
// to go on is answered NIE: nothing is done, and the status says so.
TEST_F(CliTest, ADeclinedQuestionEndsWithStatusThree) {
  ASSERT_EQ(Run({"add", "Jan", "Kowalski", "600100200"}), 0);
  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli");
  const QStringList global{"--dir", dir_.path(), "--pin", pin_, "--port", QString::fromStdString(sim_.DevicePath())};
  QFile backup(Path("kopia.txt"));
  ASSERT_TRUE(backup.open(QIODevice::WriteOnly));
  backup.write("# Selvantrix backup\n002|600100200\n");
  backup.close();
  const QStringList commands[] = {{"remove-local", "600100200"}, {"format"}, {"restore", Path("kopia.txt")}};
  for (const QStringList& command : commands) {
    QProcess cli;
    cli.start(program, global + command);
    cli.closeWriteChannel();
    ASSERT_TRUE(cli.waitForFinished(20000));
    EXPECT_EQ(cli.exitCode(), 3) << command.join(' ').toStdString();
    EXPECT_TRUE(cli.readAllStandardError().contains("nothing done: the question was answered NIE; use --yes"));
  }
  EXPECT_TRUE(sim_.Received().empty());
  ASSERT_EQ(Run({"list"}), 0);
  EXPECT_TRUE(out_.contains("600100200")) << "the row is still there";
  EXPECT_EQ(Run({"--yes", "remove-local", "600100200"}), 0);
}

TEST_F(CliTest, CtrlCDuringAFormatStopsItAndEndsCleanly) {
  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli");
  ASSERT_TRUE(QFile::exists(program));
  QProcess cli;
  cli.start(program, {"--dir", dir_.path(), "--pin", pin_, "--port", QString::fromStdString(sim_.DevicePath()),
                      "--yes", "format"});
  ASSERT_TRUE(cli.waitForStarted());
  // Interrupt once the format is under way.
  for (int i = 0; i < 500 && sim_.Received().size() < 20; ++i) QThread::msleep(10);
  ASSERT_GE(sim_.Received().size(), 20u);
  ::kill(pid_t(cli.processId()), SIGINT);
  ASSERT_TRUE(cli.waitForFinished(20000));
  EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(cli.exitCode(), 1);
  EXPECT_TRUE(cli.readAllStandardError().contains("Przerwano."));
  const size_t sent = sim_.Received().size();
  EXPECT_LT(sent, 1999u) << "the loop stopped";
  QThread::msleep(100);
  EXPECT_EQ(sim_.Received().size(), sent) << "nothing more came after the end";
}

}  // namespace

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
      {false, "teladmin=600100200\nczasryg=5\ntelster=698000111\n",
       {"AT+CPBM=1021,8,8;", "AT+CPBM=1012,698000111,698000111;", "AT+CPBW=001,\"600100200\",145,\"600100200\";"}},
      {true, "teladmin=600100200\nczasryg=5\ntelster=698000111\nhostip=192168001010\nhost=8080\n",
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
    std::vector<std::string> expected{"AT+CPBW=002,\"501222333\",145,\"501222333\"",
                                      "AT+CPBW=003,\"+48698765432\",145,\"+48698765432\"",
                                      "AT+CPBW=004,\"0601\",145,\"0601\"",
                                      "AT+CPBW=005,\"999999999\",145,\"999999999\""};
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
      {{"sync", "--dry-run"}, {}, "+ 698765432\n+ 511000111\n- 600100200\n", "0 0 0"},
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
      {"# Selvantrix backup\n002|600100200\n003|600\";AT\n", "(wiersz 3: niepoprawny numer telefonu „600\";AT”). Nic nie wysłano."},
      {"# Selvantrix backup\n002|600100200\nczasryg=9\n", "wiersz 3: czas przekaźnika „9” poza zakresem"},
      {"# Selvantrix backup\n002|600100200\nportcom=2\n", "wiersz 3: nieznane ustawienie „portcom”"},
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
  file.write("# Selvantrix backup\n002|600100200\n003|600100203\n004|600100204\nteladmin=600100200\n");
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
        for (int slot = 2; slot <= 6; ++slot) controller.controller().SetSlot(slot, "60010020" + std::to_string(slot), "");
      }
      const QStringList global{"--dir", dir_.path(), "--pin", pin_, "--port", QString::fromStdString(controller.DevicePath())};
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
  backup += "czasryg=3\nteladmin=600100200\n";
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
    cli.start(program, QStringList{"--dir", dir_.path(), "--pin", pin_, "--port",
                                   QString::fromStdString(sim_.DevicePath())} + c.command);
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
      EXPECT_EQ(received.back(), "AT+CPBW=" + SlotText(int(received.size()) + 1).toStdString() +
                                     ",\"999999999\",145,\"999999999\"")
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
