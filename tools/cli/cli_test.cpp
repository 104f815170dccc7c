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
#include "cli/testing/cli_test.h"
#include "serial/testing/sim_session.h"

namespace {

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
  EXPECT_EQ(out_, "3\tEwa\tNowak\t501222333\t1\n2\tJan\tKowalski\t600100200\t1\n")
      << "the list replaced by what the controller holds keeps the names of its numbers";
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
  EXPECT_EQ(sim_.Received(),
            (std::vector<std::string>{"AT+CPBM=1015,600100201,600100201", "AT+CPBM=1015,600100202,600100202",
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
    EXPECT_TRUE(err_.contains(QString::fromUtf8(c.message)))
        << c.args.join(' ').toStdString() << ": " << err_.toStdString();
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
    return std::find_if(lines.begin(), lines.end(),
                        [&](const std::string& line) { return line.find(piece) != std::string::npos; }) != lines.end();
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
  write("mixed.dat", "Jan|Kowalski|600 100 200\r\nZly|Numer|600\",AT\r\nJan|0048 600 100 200\r\n");
  write("good.dat", "Ewa|Nowak|501222333\r\n");
  write("empty.dat", "");
  // "Unicode" as an editor saves it: UTF-16 LE behind its mark.
  write("unicode.dat", QByteArray("\xFF\xFE") + QByteArray("A\0l\0a\0|\0L\0i\0s\0|\0"
                                                           "6\0"
                                                           "0\0"
                                                           "1\0\r\0\n\0",
                                                           26));
  struct Case {
    QStringList args;
    int status;
    const char* message;  // UTF-8
    const char* list;     // the list afterwards
  };
  // clang-format off
  const Case cases[] = {
      {{"import", Path("mixed.dat")}, 0,
       "Zaimportowano 1 numer, pominięto 1 wiersz z numerem powtórzonym w pliku i 1 wiersz z niepoprawnym numerem "
       "telefonu",
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
      // Every line already listed: nothing to take is a failure when strict.
      {{"import", Path("good.dat"), "--strict"}, 1, "ma 1 wiersz z numerem już na liście (pierwszy to wiersz 1)",
       "2\tJan\tKowalski\t600100200\t0\n3\tEwa\tNowak\t501222333\t0\n"},
      {{"import", Path("unicode.dat"), "--replace", "--strict"}, 0, "Zaimportowano 1 numer", "2\tAla\tLis\t601\t0\n"},
      {{"export", Path("out.dat")}, 0, "", "2\tAla\tLis\t601\t0\n"},
      {{"import", Path("good.dat"), "--bogus"}, 2, "unknown option --bogus", "2\tAla\tLis\t601\t0\n"},
  };
  // clang-format on
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), c.status) << c.args.join(' ').toStdString() << ": " << err_.toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(c.message)))
        << c.args.join(' ').toStdString() << ": " << err_.toStdString();
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
                  .contains(QString::fromUtf8("Zaimportowano 1 numer, pominięto 1 wiersz z niepoprawnym numerem telefonu")));

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
    EXPECT_TRUE(err_.contains(QString::fromUtf8("Za pustym miejscem 003 sterownik ma jeszcze 1 numer")))
        << err_.toStdString();
    ASSERT_EQ(Run({"list"}), 0);
    EXPECT_EQ(out_.count(u'\n'), c.rows) << out_.toStdString();
  }

  sim_.Stop();
  sim::Simulator refusing(sim::Simulator::Options{.errorOn = {1}});
  std::string error;
  ASSERT_TRUE(refusing.Start(&error)) << error;
  QStringList global{QStringLiteral("--dir"),  dir_.path(),
                     QStringLiteral("--pin"),  pin_,
                     QStringLiteral("--port"), QString::fromStdString(refusing.DevicePath())};
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
  const QStringList commands[] = {{"write", "--all"},
                                  {"delete", "--all"},
                                  {"--yes", "format"},
                                  {"read"},
                                  {"verify"},
                                  {"config", "read"},
                                  {"--yes", "config", "write", "--admin", "600100200"},
                                  {"remind", "2027-02-01"},
                                  {"events", "3"}};
  for (const auto& options : modes) {
    for (const QStringList& command : commands) {
      // A controller of its own for each command: the refused lines count from the first.
      sim::Simulator controller(options);
      std::string error;
      ASSERT_TRUE(controller.Start(&error)) << error;
      const QStringList global{QStringLiteral("--dir"),  dir_.path(),
                               QStringLiteral("--pin"),  pin_,
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
       0,
       "",
       "Zapisano"},
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
    EXPECT_TRUE(out_.contains(QString::fromUtf8(c.out))) << c.args.join(' ').toStdString() << "\n"
                                                         << out_.toStdString();
    EXPECT_TRUE(err_.contains(QString::fromUtf8(c.err))) << c.args.join(' ').toStdString() << "\n"
                                                         << err_.toStdString();
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
  backup.write("# Selvantrix backup\n002|600100200\n# end 1 numbers 0 settings\n");
  backup.close();
  const QStringList commands[] = {
      {"remove-local", "600100200"}, {"format"}, {"restore", Path("kopia.txt")}, {"add", "Jan", "K", "0048600100200"}};
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
  EXPECT_FALSE(out_.contains("+48600100200")) << "the other form was not added";
  EXPECT_EQ(Run({"--yes", "remove-local", "600100200"}), 0);
}

TEST_F(CliTest, CtrlCDuringAFormatStopsItAndEndsCleanly) {
  const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("selvantrix-cli");
  ASSERT_TRUE(QFile::exists(program));
  QProcess cli;
  cli.start(program, {"--dir", dir_.path(), "--pin", pin_, "--port", QString::fromStdString(sim_.DevicePath()), "--yes",
                      "format"});
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
