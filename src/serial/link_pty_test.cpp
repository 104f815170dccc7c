#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/settings.h"
#include "core/testing/scripted_ui.h"
#include "core/testing/phones.h"
#include "serial/link.h"
#include "serial/port_names.h"
#include "sim/simulator.h"
#include "serial/testing/sim_session.h"
#include "common/testing/without_privileges.h"

namespace {

// The link against the simulated controller on a real pseudo-terminal.
class LinkPtyTest : public SimSessionTest {
 protected:
  void SetUp() override {
    SimSessionTest::SetUp();
    WithController([](sim::Controller& c) { c.SetSlot(2, "600100200", "Jan"); });
  }
};

TEST_F(LinkPtyTest, AnOperationOpensRaisesDtrExchangesAndLeavesThePortOpen) {
  Link& link = link_;
  std::vector<QString> log;
  link.onLog = [&](const QString& line) { log.push_back(line); };
  {
    PortSession port(link_);
    ASSERT_TRUE(port.ok()) << port.problem().toStdString();
    EXPECT_FALSE(link.comm().HasControlLines()) << "a pseudo-terminal has no modem lines; the open went on";
    EXPECT_TRUE(link.comm().Dtr());
    EXPECT_TRUE(link.comm().Rts());
    const Answer answer = link.Exchange("AT+CPBR=002", Await::kEntry, 5000);
    ASSERT_TRUE(answer.Entry());
    EXPECT_EQ(answer.Entry()->number, "600100200");
    EXPECT_EQ(answer.outcome, LineOutcome::kConfirmed);
  }
  EXPECT_FALSE(link.comm().Dtr()) << "dropped when the operation ends";
  EXPECT_TRUE(link.comm().IsOpen()) << "the port stays open";
  EXPECT_EQ(sim_.Received(), std::vector<std::string>{"AT+CPBR=002"}) << "one line, one CR";
  EXPECT_TRUE(Rows(session_).empty()) << "the link stores nothing itself";
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), "AT+CPBR=002");

  // Opening an open port closes it and pauses before opening again.
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(link.comm().OpenPort(QString::fromStdString(sim_.DevicePath())));
  EXPECT_GE(clock.elapsed(), Comm::kReopenPauseMs);
  EXPECT_FALSE(link.comm().Dtr());
  EXPECT_TRUE(link.comm().Rts());
}

TEST_F(LinkPtyTest, AMissingOrBadPortSettingStopsTheOperationWithItsMessage) {
  struct Case {
    const char* value;
    const char* message;
  };
  RememberPortAlias(session_.FilePath(kSettingsFileName), 19, "/dev/selvantrix-missing");
  const Case cases[] = {{"abc", "Błąd otwarcia portu COM0"}, {"19", "Błąd otwarcia portu COM19"}};
  for (const Case& c : cases) {
    UpsertSetting(session_, kKeyPort, c.value);
    PortSession port(link_);
    EXPECT_FALSE(port.ok()) << c.value;
    EXPECT_EQ(port.problem(), QString::fromUtf8(c.message));
  }
  QTemporaryDir other;
  SessionOnTemp bare(other.path());
  Link bareLink(bare.session);
  PortSession port(bareLink);
  EXPECT_FALSE(port.ok());
  EXPECT_EQ(port.problem(), "Brak zdefiniowanego portu COM");
  // The serial layer's reason went to the trace file.
  QFile trace(QDir(temp_.path()).filePath("logs/dlltrace.txt"));
  ASSERT_TRUE(trace.open(QIODevice::ReadOnly));
  EXPECT_TRUE(trace.readAll().contains("/dev/selvantrix-missing"));
}

TEST_F(LinkPtyTest, APortTheUserMayNotOpenIsNamedWithTheWayToBeLetIn) {
  if (::geteuid() != 0) GTEST_SKIP() << "a device of another owner can only be set up as root";
  // nobody reads the settings file and reaches the device; only the
  // device's own permissions keep it out.
  ASSERT_EQ(::chmod(QFile::encodeName(temp_.path()).constData(), 0755), 0);
  const QString device = QDir(temp_.path()).filePath("ttyUSB0");
  QFile file(device);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  ASSERT_EQ(::chmod(QFile::encodeName(device).constData(), 0600), 0);
  RememberPortAlias(session_.FilePath(kSettingsFileName), 18, device);
  // Made its owner's only, as every file the program creates.
  ASSERT_EQ(::chmod(QFile::encodeName(session_.FilePath(kSettingsFileName)).constData(), 0644), 0);
  const QString advice =
      QString::fromUtf8(
          ". Brak uprawnień do portu %1: dodaj użytkownika do grupy dialout (sudo usermod -aG dialout "
          "$USER) i zaloguj się ponownie")
          .arg(device);
  const std::pair<QString, QString> cases[] = {
      {QStringLiteral("18"), QString::fromUtf8("Błąd otwarcia portu COM18") + advice},
      {device, QString::fromUtf8("Błąd otwarcia portu ") + device + advice},
  };
  for (const auto& [choice, message] : cases) {
    UpsertSetting(session_, kKeyPort, choice);
    QString problem;
    {
      WithoutPrivileges user;
      if (user.failed()) GTEST_SKIP() << "the effective id of nobody cannot be taken";
      PortSession port(link_);
      EXPECT_FALSE(port.ok()) << choice.toStdString();
      problem = port.problem();
    }
    EXPECT_EQ(problem, message);
  }
}

}  // namespace
