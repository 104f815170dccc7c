#pragma once

#include <QDate>
#include <QString>

#include "core/store_errors.h"

class Session;
class UserInterface;

// Keys of the settings table `config`.
inline constexpr const char* kKeyAdminPhone = "teladmin";
inline constexpr const char* kKeyControllerPhone = "telster";
inline constexpr const char* kKeyPort = "portcom";
inline constexpr const char* kKeyRelayTime = "czasryg";
inline constexpr const char* kKeySimDate = "DateEdit1";
inline constexpr const char* kKeyPinDigest = "pagetaop";
inline constexpr const char* kKeyHostIp = "hostip";
inline constexpr const char* kKeyHost = "host";
inline constexpr const char* kKeyServerPhone = "telserver";
inline constexpr const char* kKeyServerIp = "ipserv";
inline constexpr const char* kKeyOstiv = "ostiv";

// The settings view's choices: COM1..COM20 and the seven relay times.
inline constexpr int kPortCount = 20;
inline constexpr const char* const kRelayTimes[] = {"0.6 sek", "1.2 sek", "1.8 sek", "2.4 sek",
                                                    "3.0 sek", "3.6 sek", "4.2 sek"};
inline constexpr int kRelayTimeCount = 7;

// Reads a key's value from `config`: the first row whose key is exactly the
// name. False when there is no such row.
bool FindSetting(Session& session, const char* key, QString* value);
// Writes a key: the row is edited when found, appended otherwise, and
// posted; the value is cut to 40 bytes by the table. A refused row throws
// unless the caller asks for it to be dropped (then false).
bool UpsertSetting(Session& session, const char* key, const QString& value, Refusal refusal = Refusal::kThrow);

// The settings view as the commands see it: the window backs it with its
// widgets, a headless caller with plain values.
class SettingsFields {
 public:
  enum class Field { kAdminPhone, kControllerPhone };
  virtual ~SettingsFields() = default;
  virtual QString Phone(Field field) const = 0;
  virtual void SetPhone(Field field, const QString& text) = 0;
  // Positions in the port and relay-time lists; -1 when nothing is chosen.
  virtual int PortIndex() const = 0;
  virtual void SetPortIndex(int index) = 0;
  virtual int RelayIndex() const = 0;
  virtual void SetRelayIndex(int index) = 0;
  // The date picker's text as displayed, and that text read as a date in
  // the picker's own format (invalid when it is none).
  virtual QString DateText() const = 0;
  virtual void SetDateText(const QString& text) = 0;
  virtual QDate Date() const = 0;
  // Brings the user to a field that failed its check.
  virtual void ShowField(Field field) = 0;
  // Nothing typed into the view is unsaved any more (a read replaced it).
  virtual void ShowSaved() {}

  // The view key the fields were last loaded for (LoadSettingsView); -1
  // when nothing was, or what was loaded no longer holds.
  int loadedViewKey = -1;
};

// Plain values, for tests and front ends without a window.
class SettingsValues : public SettingsFields {
 public:
  QString adminPhone;
  QString controllerPhone;
  int portIndex = -1;
  int relayIndex = 1;
  QString dateText;

  QString Phone(Field field) const override { return field == Field::kAdminPhone ? adminPhone : controllerPhone; }
  void SetPhone(Field field, const QString& text) override {
    (field == Field::kAdminPhone ? adminPhone : controllerPhone) = text;
  }
  int PortIndex() const override { return portIndex; }
  void SetPortIndex(int index) override { portIndex = index; }
  int RelayIndex() const override { return relayIndex; }
  void SetRelayIndex(int index) override { relayIndex = index; }
  QString DateText() const override { return dateText; }
  void SetDateText(const QString& text) override { dateText = text; }
  // Plain values use the Polish short date.
  QDate Date() const override { return QDate::fromString(dateText, QStringLiteral("d.MM.yyyy")); }
  void ShowField(Field) override {}
};

// Fills the view from the table, unless the view already holds what was
// loaded for this view key. Missing keys leave their fields alone.
void LoadSettingsView(Session& session, SettingsFields& view, int viewKey);
// Fills the view from the table whatever it holds.
void FillSettingsView(Session& session, SettingsFields& view);
// Refills empty phone fields from the table, checks both phones (at least 5
// and at most 9 characters of a well-formed number, blanks and dashes
// dropped) and puts them back into the view as they are stored. False when
// a phone is refused: the user is told and taken to its box.
bool TakeSettingsPhones(Session& session, UserInterface& ui, SettingsFields& view);
// The port, the date and the relay time written, then the two phones when
// TakeSettingsPhones takes them (nothing to take when both boxes are empty
// and none is stored). False, the phones not written, when one is refused.
bool SaveSettingsView(Session& session, UserInterface& ui, SettingsFields& view);

// The start-up options of the settings file.
struct StartOptions {
  int raptime = 15;  // seconds the event-log fetch waits for the end of the log
  bool admin = false;
  // How many slots past an empty one a phonebook read looks for numbers
  // left behind (a delete leaves holes); 0 does not look.
  int readgap = 20;
};
// Reads "selvantrix.ini" (section "option") and writes "raptime" back at
// once, so the file exists and names it after the first start. A missing or
// unreadable file, or a value that is not an integer, gives the default.
StartOptions ReadSettingsFile(const QString& path);
// The country code of the list's numbers: "kraj" in section "option" of the
// settings file, one to three digits; kDefaultCountryCode when it is missing
// or anything else. Reads only.
QString ReadCountryCode(const QString& path);
