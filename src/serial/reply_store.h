#pragma once

#include <QByteArray>

class Session;

// The setting a special phonebook slot holds ("teladmin" for 001, ...), or
// nullptr for a slot of the list.
const char* SettingOfSlot(int slot);
// A special slot's number as its setting keeps it.
QByteArray SettingValue(int slot, const QByteArray& sent);
// A list slot's number as the list keeps it: leading zeros dropped, and a
// number of ten digits alone, below 2^32, given back what the controller's
// 32-bit store took from it; every other number keeps its text.
QByteArray ListedNumber(const QByteArray& sent);

// What the controller's replies write into the run's tables, for the
// commands that keep them: settings into `config`, phonebook entries into
// `telefony`, event-log entries into `raporty`. It knows nothing of the line
// they came on, so it is tested and fuzzed without a port.
class ReplyStore {
 public:
  explicit ReplyStore(Session& session) : session_(session) {}

  // A phonebook entry of `slot` with its number as sent (leading zeros and
  // all); the special slots write their setting, any other one a list row.
  // Throws for a number that is no number; a refused row is dropped. The
  // number as the list now holds it, confirmed (stored now, or already
  // holding just that); empty for a setting or a row not stored.
  QByteArray StoreEntry(int slot, const QByteArray& number);
  // The relay-time code of a system line, as the "czasryg" setting.
  void StoreRelayCode(int code);
  // One event-log entry; false for an entry already stored, which is not
  // stored again.
  bool StoreEvent(const QByteArray& date, const QByteArray& number);

 private:
  QByteArray StorePhone(int slot, const QByteArray& sent);
  void WriteSetting(const char* key, const QByteArray& value);

  Session& session_;
};
