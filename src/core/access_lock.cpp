#include "core/access_lock.h"

#include <QCryptographicHash>

#include "core/session.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "common/windows1250.h"

QString DigestHex(const QString& text) {
  return QString::fromLatin1(QCryptographicHash::hash(ToWindows1250(text), QCryptographicHash::Md5).toHex().toUpper());
}

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
  if (typed == code || DigestHex(typed) == stored) return true;
  ui.ShowNotice(QString::fromUtf8(kWrongPinMessage));
  return false;
}

void ChangePin(Session& session, const QString& typed) { UpsertSetting(session, kKeyPinDigest, DigestHex(typed)); }
