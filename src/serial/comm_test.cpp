#include "serial/comm.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "common/testing/without_privileges.h"

namespace {

// A pseudo-terminal whose far end the test holds itself, so it can leave
// what the port sends unread until the line backs up, or pull the device
// away under the open port.
class Pty {
 public:
  Pty() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
    char name[256];
    if (::ptsname_r(master_, name, sizeof name) == 0) device_ = QString::fromLocal8Bit(name);
  }
  ~Pty() { Close(); }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  QString device() const { return device_; }
  // Afterwards the device is gone, as when an adapter is pulled out.
  void Close() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  // Everything that reached the far end so far, running the port's events
  // until `size` bytes came or `waitMs` passed.
  QByteArray Take(qsizetype size, int waitMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    do {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      char buffer[4096];
      ssize_t n = 0;
      while ((n = ::read(master_, buffer, sizeof buffer)) > 0) taken_.append(buffer, n);
    } while (taken_.size() < size && clock.elapsed() < waitMs);
    return taken_;
  }

 private:
  int master_ = -1;
  QString device_;
  QByteArray taken_;
};

class CommTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(pty_.device().isEmpty()) << "no pseudo-terminal"; }

  // Runs events until `done` holds or two seconds passed.
  static bool RunUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
  }

  Pty pty_;
  QStringList trace_;
  Comm comm_{[this](const QString& line) { trace_ << line; }};
};

TEST_F(CommTest, ADeviceThatCannotBeOpenedIsTracedWithItsReasonAndLeavesThePortClosed) {
  QTemporaryDir directory;
  Comm holder(nullptr);
  ASSERT_TRUE(holder.OpenPort(pty_.device()));
  struct Case {
    QString device;
    QString trace;  // the start of the traced line
  };
  const Case cases[] = {
      {"/dev/selvantrix-missing", "Specified device not found (/dev/selvantrix-missing)."},
      {directory.path(), "Can't open specified device " + directory.path() + " (Error "},
      {"/dev/null", "Can't open specified device /dev/null (Error "},
      // Another program (here another port object) holds it.
      {pty_.device(), "Can't open specified device " + pty_.device() + " (Error "},
  };
  for (const Case& c : cases) {
    trace_.clear();
    EXPECT_FALSE(comm_.OpenPort(c.device)) << c.device.toStdString();
    EXPECT_FALSE(comm_.IsOpen()) << c.device.toStdString();
    EXPECT_FALSE(comm_.OpenDenied()) << c.device.toStdString() << ": no permission was missing";
    ASSERT_EQ(trace_.size(), 1) << c.device.toStdString();
    EXPECT_TRUE(trace_[0].startsWith(c.trace)) << trace_[0].toStdString();
  }
}

TEST_F(CommTest, ADeviceTheUserMayNotOpenIsToldApartUntilTheNextOpen) {
  if (::geteuid() != 0) GTEST_SKIP() << "a device of another owner can only be set up as root";
  QTemporaryDir directory;
  ASSERT_EQ(::chmod(QFile::encodeName(directory.path()).constData(), 0755), 0);
  const QString device = directory.filePath("ttyUSB0");
  QFile file(device);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  ASSERT_EQ(::chmod(QFile::encodeName(device).constData(), 0600), 0);
  {
    WithoutPrivileges user;
    if (user.failed()) GTEST_SKIP() << "the effective id of nobody cannot be taken";
    EXPECT_FALSE(comm_.OpenPort(device));
  }
  EXPECT_FALSE(comm_.IsOpen());
  EXPECT_TRUE(comm_.OpenDenied());
  ASSERT_EQ(trace_.size(), 1);
  EXPECT_TRUE(trace_[0].startsWith("Can't open specified device " + device + " (Error ")) << trace_[0].toStdString();
  ASSERT_TRUE(comm_.OpenPort(pty_.device()));
  EXPECT_FALSE(comm_.OpenDenied()) << "a later open starts afresh";
}

TEST_F(CommTest, AFailedOpenOfAnotherDeviceDoesNotLeaveTheFormerOneOpen) {
  ASSERT_TRUE(comm_.OpenPort(pty_.device()));
  EXPECT_FALSE(comm_.OpenPort("/dev/selvantrix-missing"));
  EXPECT_FALSE(comm_.IsOpen());
  EXPECT_FALSE(comm_.Write("AT\r")) << "a send on the closed port is no success";
  EXPECT_EQ(pty_.Take(1, 300), "") << "nothing goes to the former device";
  ASSERT_TRUE(comm_.OpenPort(pty_.device())) << "and it is free to open again";
  EXPECT_TRUE(comm_.Write("AT\r"));
  EXPECT_EQ(pty_.Take(3), "AT\r");
}

TEST_F(CommTest, ControlLinesFollowEachRequestOnlyWhileOpen) {
  struct Step {
    const char* what;
    std::function<void(Comm&)> act;
    bool dtr, rts;
  };
  const Step steps[] = {
      {"open", [&](Comm& c) { ASSERT_TRUE(c.OpenPort(pty_.device())); }, false, true},
      {"lines off", [](Comm& c) { c.SetControlLines(false); }, true, false},
      {"lines on", [](Comm& c) { c.SetControlLines(true); }, false, true},
      {"DTR up", [](Comm& c) { c.SetDtr(true); }, true, true},
      {"closed", [](Comm& c) { c.Close(); }, true, true},
      {"lines off while closed", [](Comm& c) { c.SetControlLines(false); }, true, true},
      {"DTR down while closed", [](Comm& c) { c.SetDtr(false); }, true, true},
      {"reopened", [&](Comm& c) { ASSERT_TRUE(c.OpenPort(pty_.device())); }, false, true},
  };
  for (const Step& step : steps) {
    step.act(comm_);
    EXPECT_EQ(comm_.Dtr(), step.dtr) << step.what;
    EXPECT_EQ(comm_.Rts(), step.rts) << step.what;
  }
  // A pseudo-terminal has no modem lines: every request is traced, none
  // stops the port.
  EXPECT_TRUE(comm_.IsOpen());
  for (const QString& line : trace_) {
    EXPECT_TRUE(line.startsWith("Error setting DTR (") || line.startsWith("Error setting RTS (")) << line.toStdString();
  }
}

TEST_F(CommTest, AClosedPortSendsNothingAndSaysSo) {
  for (const bool everOpened : {false, true}) {
    Comm comm(nullptr);
    if (everOpened) {
      ASSERT_TRUE(comm.OpenPort(pty_.device()));
      comm.Close();
    }
    EXPECT_FALSE(comm.Write("AT+CPBR=001\r")) << everOpened;
  }
  EXPECT_EQ(pty_.Take(1, 300), "");
}

TEST_F(CommTest, ALineThatStopsDrainingRefusesTheBlockThatDoesNotFitAfterASecond) {
  ASSERT_TRUE(comm_.OpenPort(pty_.device()));
  // Nobody reads the far end: the kernel's queue fills, then the port's own.
  QByteArray accepted;
  qint64 refusalMs = -1;
  for (int i = 0; i < 1000 && refusalMs < 0; ++i) {
    const QByteArray block(1000, char('a' + i % 26));
    QElapsedTimer clock;
    clock.start();
    if (comm_.Write(block)) {
      accepted += block;
    } else {
      refusalMs = clock.elapsed();
    }
  }
  ASSERT_GE(refusalMs, 0) << "a megabyte went into a line nobody reads";
  EXPECT_GE(refusalMs, Comm::kWriteTimeoutMs - 20);
  EXPECT_EQ(trace_.back(), "Output buffer is full. Please check comm status.");
  EXPECT_TRUE(comm_.IsOpen());
  // Once the line drains, what was accepted arrives whole and in order.
  const QByteArray arrived = pty_.Take(accepted.size());
  EXPECT_EQ(arrived.size(), accepted.size());
  EXPECT_TRUE(arrived == accepted);
}

TEST_F(CommTest, ABlockLargerThanTheBufferGoesOutWhenNothingIsWaiting) {
  ASSERT_TRUE(comm_.OpenPort(pty_.device()));
  const QByteArray large(3 * Comm::kSendBufferSize, 'x');
  EXPECT_TRUE(comm_.Write(large));
  // One that would overflow what is still waiting waits for the line instead.
  EXPECT_TRUE(comm_.Write(QByteArray(Comm::kSendBufferSize, 'y')));
  const QByteArray arrived = pty_.Take(4 * Comm::kSendBufferSize);
  EXPECT_TRUE(arrived == large + QByteArray(Comm::kSendBufferSize, 'y')) << arrived.size();
}

TEST_F(CommTest, ADeviceThatVanishesIsClosedAndAnotherOpensInItsPlace) {
  ASSERT_TRUE(comm_.OpenPort(pty_.device()));
  int lost = 0;
  comm_.onLost = [&] { ++lost; };
  pty_.Close();
  // Nothing is written: the vanished device alone must close the port, or
  // an idle window spins on the error Qt keeps repeating.
  EXPECT_TRUE(RunUntil([&] { return !comm_.IsOpen(); })) << "still open on a device that is gone";
  EXPECT_EQ(lost, 1);
  EXPECT_FALSE(comm_.Write("AT\r")) << "a send on the closed port is no success";
  EXPECT_TRUE(trace_.back().startsWith("Read error (")) << trace_.back().toStdString();

  Pty replacement;
  ASSERT_TRUE(comm_.OpenPort(replacement.device()));
  EXPECT_TRUE(comm_.Write("AT\r"));
  EXPECT_EQ(replacement.Take(3), "AT\r");
}

}  // namespace
