#include "common/trace_log.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "common/application_directory.h"

namespace {

QStringList ReadLines(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

TEST(TraceLogTest, CreatesMissingDirectoriesAndAppendsOneLinePerCall) {
  QTemporaryDir temp;
  const QString deep = temp.filePath("not/yet/there");
  ASSERT_TRUE(TraceLogIn(deep, "pierwszy błąd"));
  ASSERT_TRUE(TraceLogIn(deep, "second failure"));

  const QStringList lines = ReadLines(QDir(deep).filePath("logs/dlltrace.txt"));
  ASSERT_EQ(lines.size(), 2);
  EXPECT_TRUE(lines[0].endsWith(" pierwszy błąd")) << lines[0].toStdString();
  EXPECT_TRUE(lines[1].endsWith(" second failure"));

  // Date and time come first, in the locale's own formats.
  const QString today = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
  EXPECT_TRUE(lines[0].startsWith(today + u' ')) << lines[0].toStdString();
}

TEST(TraceLogTest, AppendsToAnExistingFileWithoutTouchingItsLines) {
  QTemporaryDir temp;
  QDir(temp.path()).mkpath("logs");
  QFile existing(TraceFilePath(temp.path()));
  ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
  existing.write("old line\n");
  existing.close();

  ASSERT_TRUE(TraceLogIn(temp.path(), "new"));
  const QStringList lines = ReadLines(TraceFilePath(temp.path()));
  ASSERT_EQ(lines.size(), 2);
  EXPECT_EQ(lines[0], "old line");
  EXPECT_TRUE(lines[1].endsWith(" new"));
}

TEST(TraceLogTest, ReportsAnUnwritableLocationInsteadOfThrowing) {
  QTemporaryDir temp;
  // A plain file where the "logs" directory should be.
  QFile blocker(QDir(temp.path()).filePath("logs"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  EXPECT_FALSE(TraceLogIn(temp.path(), "lost"));
}

}  // namespace
