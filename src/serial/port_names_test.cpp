#include "serial/port_names.h"

#include <QDir>
#include <QFile>
#include <QSerialPortInfo>
#include <QSet>
#include <QTemporaryDir>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/testing/without_privileges.h"

namespace {

class PortNamesTest : public ::testing::Test {
 protected:
  QString Ini() const { return QDir(temp_.path()).filePath("selvantrix.ini"); }
  void WriteIni(const QByteArray& text) {
    QFile file(Ini());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
  }
  QByteArray ReadIni() {
    QFile file(Ini());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
  }

  QTemporaryDir temp_;
};

TEST_F(PortNamesTest, ComNumbersMapToDevicesThroughTheSettingsFile) {
  RememberPortAlias(Ini(), 3, "/dev/ttyUSB0");
  const std::pair<int, const char*> cases[] = {{3, "/dev/ttyUSB0"}, {1, "/dev/ttyS0"}, {20, "/dev/ttyS19"}};
  for (const auto& [number, device] : cases) EXPECT_EQ(PortDevice(Ini(), number), device) << number;
  EXPECT_EQ(ReadIni(), "[ports]\nCOM3=/dev/ttyUSB0\n");
  for (const PortEntry& entry : EnumerateSerialPorts(Ini())) {
    EXPECT_TRUE(entry.text.startsWith(QStringLiteral("COM%1: = ").arg(entry.number))) << entry.text.toStdString();
  }
}

TEST_F(PortNamesTest, OnlyWellFormedAliasesOfTheirSectionCount) {
  WriteIni(
      "[option]\nCOM2=/dev/not-a-port-entry\n"
      "[ports]\n"
      "COM3=/dev/ttyUSB0\n"
      "com4 = /dev/ttyACM0\n"
      "COM5=\n"
      "COMx=/dev/no-number\n"
      "COM0=/dev/number-zero\n"
      "PORT6=/dev/not-com\n"
      "COM7=  /dev/ttyUSB7  \n");
  const std::pair<int, const char*> cases[] = {
      {3, "/dev/ttyUSB0"}, {4, "/dev/ttyACM0"}, {5, "/dev/ttyS4"}, {6, "/dev/ttyS5"},
      {7, "/dev/ttyUSB7"}, {2, "/dev/ttyS1"},   {8, "/dev/ttyS7"},
  };
  for (const auto& [number, device] : cases) EXPECT_EQ(PortDevice(Ini(), number), device) << number;
  EXPECT_NE(PortDevice(Ini(), 0), "/dev/number-zero");
  EXPECT_EQ(PortDevice(Ini() + ".missing", 3), "/dev/ttyS2") << "no settings file, no aliases";
}

TEST_F(PortNamesTest, AChoiceIsANumberWithOrWithoutComOrADevicePath) {
  RememberPortAlias(Ini(), 3, "/dev/ttyUSB0");
  struct Case {
    const char* choice;
    const char* device;
    int number;
    bool byPath;
  };
  const Case cases[] = {
      {"COM3", "/dev/ttyUSB0", 3, false},
      {"com3", "/dev/ttyUSB0", 3, false},
      {"3", "/dev/ttyUSB0", 3, false},
      {"12", "/dev/ttyS11", 12, false},
      {"COM12", "/dev/ttyS11", 12, false},
      {"/dev/ttyUSB3", "/dev/ttyUSB3", 0, true},
      {"/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0", 0, true},
      {"\\\\.\\COM12", "\\\\.\\COM12", 0, true},
  };
  for (const Case& c : cases) {
    const PortChoice port = ResolvePort(Ini(), c.choice);
    EXPECT_EQ(port.device, c.device) << c.choice;
    EXPECT_EQ(port.number, c.number) << c.choice;
    EXPECT_EQ(port.byPath, c.byPath) << c.choice;
  }
  // Not a number: COM0, which no device answers to.
  const PortChoice bad = ResolvePort(Ini(), "abc");
  EXPECT_EQ(bad.number, 0);
  EXPECT_FALSE(bad.byPath);
}

TEST_F(PortNamesTest, RememberingAnAliasReplacesItsValueAndKeepsTheRestOfTheFile) {
  WriteIni("[option]\nraptime=15\nadmin=1\n\n[ports]\nCOM3=/dev/ttyUSB0\nCOM4=/dev/ttyACM0\n");
  RememberPortAlias(Ini(), 3, "/dev/ttyUSB1");
  RememberPortAlias(Ini(), 9, "/dev/ttyUSB9");
  const QByteArray text = ReadIni();
  EXPECT_TRUE(text.startsWith("[option]\nraptime=15\nadmin=1\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("COM3=/dev/ttyUSB1\nCOM4=/dev/ttyACM0\nCOM9=/dev/ttyUSB9\n")) << text.toStdString();
  EXPECT_EQ(text.count("COM3="), 1);
  const std::pair<int, const char*> cases[] = {{3, "/dev/ttyUSB1"}, {4, "/dev/ttyACM0"}, {9, "/dev/ttyUSB9"}};
  for (const auto& [number, device] : cases) EXPECT_EQ(PortDevice(Ini(), number), device) << number;
}

// The numbering needs a serial port of this machine to number.
TEST_F(PortNamesTest, APresentPortKeepsItsAliasOrGetsTheLowestFreeNumber) {
  const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
  if (ports.isEmpty()) GTEST_SKIP() << "no serial port on this machine";
  const QSerialPortInfo& subject = ports.front();
  const QString link = QDir(temp_.path()).filePath("adapter");
  ASSERT_TRUE(QFile::link(subject.systemLocation(), link));
  QByteArray allTaken;
  for (int number = 1; number <= 20; ++number) allTaken += "COM" + QByteArray::number(number) + "=/dev/gone\n";
  struct Case {
    const char* what;
    QByteArray ports;
    int number;
    bool newAlias;
  };
  const Case cases[] = {
      {"an alias by its path", "COM4=" + subject.systemLocation().toLocal8Bit() + "\n", 4, false},
      {"an alias by a link to it", "COM6=" + link.toLocal8Bit() + "\n", 6, false},
      {"1 to 20 all taken", allTaken, 21, true},
  };
  for (const Case& c : cases) {
    WriteIni("[ports]\n" + c.ports);
    const QList<PortEntry> entries = EnumerateSerialPorts(Ini());
    ASSERT_EQ(entries.size(), ports.size()) << c.what;
    const PortEntry& entry = entries.front();
    EXPECT_EQ(entry.device, subject.systemLocation()) << c.what;
    EXPECT_EQ(entry.number, c.number) << c.what;
    EXPECT_EQ(entry.newAlias, c.newAlias) << c.what;
    EXPECT_TRUE(entry.text.startsWith(QStringLiteral("COM%1: = ").arg(c.number))) << entry.text.toStdString();
    EXPECT_TRUE(entry.text.endsWith(" (" + subject.portName() + ")")) << entry.text.toStdString();
    QSet<int> numbers;
    for (const PortEntry& e : entries) numbers.insert(e.number);
    EXPECT_EQ(numbers.size(), entries.size()) << c.what << ": two ports share a number";
  }
}

TEST(PortAccessTest, APortTheUserMayNotReadAndWriteIsToldApartWithTheGroupToJoin) {
  if (::geteuid() != 0) GTEST_SKIP() << "the devices' owners and groups can only be set up as root";
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  // nobody must reach the files for their own permissions to decide.
  ASSERT_EQ(::chmod(QFile::encodeName(temp.path()).constData(), 0755), 0);
  const struct group* uucp = ::getgrnam("uucp");
  if (uucp == nullptr) GTEST_SKIP() << "no group uucp to give a device to";
  const gid_t uucpGid = uucp->gr_gid;
  struct Case {
    const char* name;
    mode_t mode;
    gid_t group;
    bool accessible;  // as nobody
    bool denied;
    const char* advisedGroup;
  };
  const Case cases[] = {
      {"owner only", 0600, 0, false, true, "dialout"},
      {"read for all", 0644, 0, false, true, "dialout"},
      {"its group may read and write", 0660, uucpGid, false, true, "uucp"},
      {"its group may only read", 0640, uucpGid, false, true, "dialout"},
      {"everyone may read and write", 0666, 0, true, false, nullptr},
  };
  // Root's own group is left out: the test keeps root's groups while it
  // takes nobody's user id.
  for (const Case& c : cases) {
    const QString device = QDir(temp.path()).filePath(QString::fromLatin1(c.name).replace(' ', '_'));
    QFile file(device);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << c.name;
    file.close();
    const QByteArray path = QFile::encodeName(device);
    ASSERT_EQ(::chown(path.constData(), 0, c.group), 0) << c.name;
    ASSERT_EQ(::chmod(path.constData(), c.mode), 0) << c.name;
    EXPECT_TRUE(PortAccessible(device)) << c.name << ": root opens anything";
    EXPECT_FALSE(PortAccessDenied(device)) << c.name;
    bool accessible = false;
    bool denied = false;
    QString advice;
    {
      WithoutPrivileges user;
      if (user.failed()) GTEST_SKIP() << "the effective id of nobody cannot be taken";
      accessible = PortAccessible(device);
      denied = PortAccessDenied(device);
      advice = PortAccessAdvice(device);
    }
    EXPECT_EQ(accessible, c.accessible) << c.name;
    EXPECT_EQ(denied, c.denied) << c.name;
    if (c.advisedGroup == nullptr) continue;
    EXPECT_EQ(advice,
              QString::fromUtf8("Brak uprawnień do portu %1: dodaj użytkownika do grupy %2 (sudo usermod -aG %2 "
                                "$USER) i zaloguj się ponownie")
                  .arg(device, QString::fromLatin1(c.advisedGroup)))
        << c.name;
  }
  // Nor is joining root's group advised where it could read and write.
  const QString rootGroup = QDir(temp.path()).filePath("root_group");
  QFile file(rootGroup);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  ASSERT_EQ(::chmod(QFile::encodeName(rootGroup).constData(), 0660), 0);
  EXPECT_TRUE(PortAccessAdvice(rootGroup).contains(QStringLiteral("grupy dialout (sudo usermod -aG dialout $USER)")))
      << PortAccessAdvice(rootGroup).toStdString();
  const QString missing = QDir(temp.path()).filePath("missing");
  EXPECT_FALSE(PortAccessible(missing));
  EXPECT_FALSE(PortAccessDenied(missing)) << "a missing device is no matter of permissions";
}

}  // namespace
