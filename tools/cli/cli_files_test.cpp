// The files the program leaves behind: for their owner only, and whole or
// not at all when the disk fills up.

#include <sys/mount.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>

#include "cli/testing/cli_test.h"

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
  ASSERT_TRUE(QDir().mkpath(mount));
  if (::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs", 0, "size=16k") != 0) {
    GTEST_SKIP() << "no tmpfs can be mounted here (not root)";
  }
  struct Unmount {
    QByteArray path;
    ~Unmount() { ::umount(path.constData()); }
  } unmount{QFile::encodeName(mount)};
  for (int i = 0; i < 300; ++i) ASSERT_EQ(Run({"add", "A", "B", QString::number(600100000 + i)}), 0);
  const QByteArray older = "Stary|Plik|600999999\r\n";
  const QString list = QDir(mount).filePath("lista.dat");
  const QString backup = QDir(mount).filePath("kopia.txt");
  WriteFile(list, older);
  WriteFile(backup, older);
  // What space is left is far less than the list's 7 kB.
  QByteArray filler(4096, 'x');
  for (int i = 0; i < 8; ++i) WriteFile(QDir(mount).filePath(QStringLiteral("zapchaj%1").arg(i)), filler);
  const struct {
    QStringList args;
    QString path;
  } cases[] = {{{"export", list}, list}, {{"backup", backup, "--past-holes"}, backup}};
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

}  // namespace
