#include "common/trace_log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLocale>

#include "common/file_names.h"
#include "common/private_file.h"

QString TraceFilePath(const QString& directory) {
  return QDir(directory).filePath(QString::fromLatin1(kTraceFileName));
}

bool TraceLogIn(const QString& directory, const QString& text) {
  if (!MakePrivateDirectory(QDir(directory).filePath(QStringLiteral("logs")))) return false;
  QFile file(TraceFilePath(directory));
  if (!OpenPrivateAppend(file)) return false;
  const QDateTime now = QDateTime::currentDateTime();
  const QLocale locale = QLocale::system();
  const QString line = locale.toString(now.date(), QLocale::ShortFormat) + u' ' +
                       locale.toString(now.time(), QLocale::LongFormat) + u' ' + text + u'\n';
  const QByteArray bytes = line.toUtf8();
  return file.write(bytes) == bytes.size();
}
