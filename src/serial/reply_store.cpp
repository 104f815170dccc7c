#include "serial/reply_store.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "common/parse_number.h"
#include "common/windows1250.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/store_errors.h"
#include "serial/reply_parser.h"
#include "store/cursor.h"

const char* SettingOfSlot(int slot) {
  switch (slot) {
    case 0: return kKeyOstiv;
    case 1: return kKeyAdminPhone;
    case 1001: return kKeyServerPhone;
    case 1002: return kKeyControllerPhone;
    case 1003: return kKeyServerIp;
    case 1023: return kKeyHostIp;
    case 1024: return kKeyHost;
    default: return nullptr;
  }
}

QByteArray SettingValue(int slot, const QByteArray& sent) {
  const QByteArray value = StripLeadingZeros(sent);
  return slot == 1 || slot == 1002 ? value.trimmed() : value;
}

QByteArray ListedNumber(const QByteArray& sent) {
  const QByteArray number = StripLeadingZeros(sent);
  // A 32-bit store cut what it held above 2^32 by 2^32: only a number of
  // digits alone, below 2^32 and above nine digits, is one it gave back so.
  // Anything else ("+48600100200", a longer number) is kept as it came.
  const bool digits = !number.isEmpty() && number.size() <= 10 &&
                      std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
  if (!digits) return number;
  const qint64 value = number.toLongLong();
  return value > 999999999 && value < 4294967296LL ? QByteArray::number(value + 4294967296LL) : number;
}

QByteArray ReplyStore::StoreEntry(int slot, const QByteArray& sent) {
  if (const char* key = SettingOfSlot(slot)) {
    WriteSetting(key, SettingValue(slot, sent));
    return QByteArray();
  }
  return StorePhone(slot, sent);
}

void ReplyStore::StoreRelayCode(int code) { WriteSetting(kKeyRelayTime, RelayChoice(code)); }

bool ReplyStore::StoreEvent(const QByteArray& date, const QByteArray& number) {
  store::Cursor& reports = session_.Dbf3();
  bool found = false;
  RequireOk(reports.Find("Data;Tel", {date.toStdString(), number.toStdString()}, {}, &found));
  if (found) return false;
  RequireOk(reports.Append());
  RequireOk(reports.SetText("Data", date.toStdString()));
  RequireOk(reports.SetText("Tel", number.toStdString()));
  return PostRow(reports);
}

QByteArray ReplyStore::StorePhone(int slot, const QByteArray& sent) {
  const QByteArray stripped = StripLeadingZeros(sent);
  if (stripped.size() <= 3) return QByteArray();
  if (ParseNumber64(QString::fromLatin1(stripped)) == 0) {
    throw std::runtime_error("'" + stripped.toStdString() + "' is not a valid integer value");
  }
  const QByteArray number = ListedNumber(sent);

  store::Cursor& list = session_.Dbf1();
  bool found = false;
  std::int64_t id = slot;
  RequireOk(list.Find("Tel", {number.toStdString()}, {}, &found));
  if (found) {
    id = list.Int("ID");
    // A row that already says all this is not written again: every write
    // appends a row image to the file, and a list read or verified daily
    // would grow it by a row a number each time.
    if (list.Text("Tel") == number.toStdString() && list.Int("ST") == 1) return number;
    RequireOk(list.Edit());
  } else {
    // The row numbered like the slot takes the number only when it has
    // none: a verify against a controller holding other numbers must not
    // put a stranger's number under a listed name. A number the list lacks
    // becomes a row of its own, numbered as every new row is when the
    // slot's number is taken.
    RequireOk(list.Find("ID", {std::to_string(slot)}, {}, &found));
    if (found && list.Text("Tel").empty()) {
      RequireOk(list.Edit());
    } else {
      RequireOk(list.Append());
      if (found) id = list.Int("ID");
    }
  }
  RequireOk(list.SetInt("ID", id));
  RequireOk(list.SetText("Tel", number.toStdString()));
  RequireOk(list.SetInt("ST", 1));
  return PostRow(list) ? number : QByteArray();
}

void ReplyStore::WriteSetting(const char* key, const QByteArray& value) {
  // A refused row is dropped and parsing goes on.
  UpsertSetting(session_, key, FromWindows1250(value), Refusal::kDrop);
}
