#include "serial/reply_store.h"

#include <stdexcept>
#include <string>

#include "common/parse_number.h"
#include "common/windows1250.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/store_errors.h"
#include "serial/reply_parser.h"
#include "store/cursor.h"

void ReplyStore::StoreEntry(int slot, const QByteArray& sent) {
  const QByteArray number = StripLeadingZeros(sent);
  switch (slot) {
    case 0:
      return WriteSetting(kKeyOstiv, number);
    case 1:
      return WriteSetting(kKeyAdminPhone, number.trimmed());
    case 1001:
      return WriteSetting(kKeyServerPhone, number);
    case 1002:
      return WriteSetting(kKeyControllerPhone, number.trimmed());
    case 1003:
      return WriteSetting(kKeyServerIp, number);
    case 1023:
      return WriteSetting(kKeyHostIp, number);
    case 1024:
      return WriteSetting(kKeyHost, number);
    default:
      return StorePhone(slot, number);
  }
}

void ReplyStore::StoreRelayCode(int code) { WriteSetting(kKeyRelayTime, RelayChoice(code)); }

void ReplyStore::StoreEvent(const QByteArray& date, const QByteArray& number) {
  store::Cursor& reports = session_.Dbf3();
  bool found = false;
  RequireOk(reports.Find("Data;Tel", {date.toStdString(), number.toStdString()}, {}, &found));
  if (found) return;
  RequireOk(reports.Append());
  RequireOk(reports.SetText("Data", date.toStdString()));
  RequireOk(reports.SetText("Tel", number.toStdString()));
  PostRow(reports);
}

void ReplyStore::StorePhone(int slot, QByteArray number) {
  if (number.size() <= 3) return;
  const qint64 value = ParseNumber64(QString::fromLatin1(number));
  if (value == 0) throw std::runtime_error("'" + number.toStdString() + "' is not a valid integer value");
  // Numbers above nine digits come back from the controller's 32-bit store
  // short by 2^32.
  if (value > 999999999) number = QByteArray::number(value + 4294967296LL);

  store::Cursor& list = session_.Dbf1();
  bool found = false;
  std::int64_t id = slot;
  RequireOk(list.Find("Tel", {number.toStdString()}, {}, &found));
  if (found) {
    id = list.Int("ID");
    // A row that already says all this is not written again: every write
    // appends a row image to the file, and a list read or verified daily
    // would grow it by a row a number each time.
    if (list.Text("Tel") == number.toStdString() && list.Int("ST") == 1) {
      if (confirmed_) confirmed_->insert(number);
      return;
    }
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
  if (PostRow(list) && confirmed_) confirmed_->insert(number);
}

void ReplyStore::WriteSetting(const char* key, const QByteArray& value) {
  // A refused row is dropped and parsing goes on.
  UpsertSetting(session_, key, FromWindows1250(value), Refusal::kDrop);
}
