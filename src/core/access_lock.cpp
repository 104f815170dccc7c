#include "core/access_lock.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QLockFile>
#include <QThread>

#include "core/session.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "common/private_file.h"
#include "common/windows1250.h"

QString DigestHex(const QString& text) {
  return QString::fromLatin1(QCryptographicHash::hash(ToWindows1250(text), QCryptographicHash::Md5).toHex().toUpper());
}

namespace {

// Wrong PINs in a row, and when the last came, kept beside the database so
// that every process on the directory (a window, scripts run in parallel)
// waits them out alike.
constexpr const char* kPinTriesFileName = ".pin_tries";
constexpr qint64 kLongestPinPauseMs = 30000;

struct PinTries {
  int wrong = 0;
  qint64 lastMs = 0;
};

PinTries ReadPinTries(const QString& path) {
  QFile file(path);
  PinTries tries;
  if (!file.open(QIODevice::ReadOnly)) return tries;
  const QList<QByteArray> fields = file.readAll().trimmed().split(' ');
  if (fields.size() == 2) {
    tries.wrong = qMax(0, fields[0].toInt());
    tries.lastMs = fields[1].toLongLong();
  }
  return tries;
}

// 1 s after the first wrong PIN, doubling up to 30 s.
qint64 PauseAfter(int wrong) {
  return wrong <= 0 ? 0 : qMin(kLongestPinPauseMs, qint64(1000) << qMin(wrong - 1, 15));
}

void WaitOutWrongPins(Session& session, UserInterface& ui) {
  const PinTries tries = ReadPinTries(session.FilePath(QString::fromLatin1(kPinTriesFileName)));
  const qint64 until = tries.lastMs + PauseAfter(tries.wrong);
  // Clamped: a clock set back must not lock the door for days.
  const qint64 end = qMin(until, QDateTime::currentMSecsSinceEpoch() + kLongestPinPauseMs);
  while (QDateTime::currentMSecsSinceEpoch() < end) {
    ui.ProcessEvents();
    QThread::msleep(20);
  }
}

void CountPinTry(Session& session, bool right) {
  const QString path = session.FilePath(QString::fromLatin1(kPinTriesFileName));
  QLockFile lock(path + QStringLiteral(".lock"));
  if (!lock.tryLock(5000)) return;
  if (right) {
    QFile::remove(path);
    return;
  }
  const PinTries tries = ReadPinTries(path);
  const QByteArray text = QByteArray::number(tries.wrong + 1) + ' ' +
                          QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + '\n';
  QString cause;
  static_cast<void>(WriteFileWhole(path, text, &cause));  // without it, no pause: the PIN still decides
}

}  // namespace

QString DailyServiceCode(const QDate& date) {
  return date.toString(QStringLiteral("MMdd")) + QString::fromLatin1(kServiceCodeSuffix);
}

bool CheckAccess(Session& session, UserInterface& ui, const QString& typed, const QDate& today) {
  const QString code = DailyServiceCode(today);
  QString stored;
  if (FindSetting(session, kKeyPinDigest, &stored)) {
    stored = stored.trimmed();
  } else {
    // The first start: until a PIN is set, the PIN is this day's code.
    UpsertSetting(session, kKeyPinDigest, DigestHex(code));
    stored.clear();
  }
  // An empty box is no attempt (an Enter pressed too soon): it is neither
  // paused for nor counted, and it is the one text that says nothing of
  // any other PIN.
  if (typed.isEmpty() && DigestHex(typed) != stored) {
    ui.ShowNotice(QString::fromUtf8(kNoPinMessage));
    return false;
  }
  WaitOutWrongPins(session, ui);
  const bool right = typed == code || DigestHex(typed) == stored;
  CountPinTry(session, right);
  if (right) return true;
  ui.ShowNotice(QString::fromUtf8(kWrongPinMessage));
  return false;
}

void ChangePin(Session& session, const QString& typed) { UpsertSetting(session, kKeyPinDigest, DigestHex(typed)); }
