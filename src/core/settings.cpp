#include "core/settings.h"

#include "core/ini_file.h"

#include <SimpleIni.h>

#include <QFile>
#include <algorithm>

#include "core/ini_file.h"
#include "core/phone_number.h"
#include "core/session.h"
#include "core/user_interface.h"
#include "common/parse_number.h"
#include "common/windows1250.h"
#include "core/store_errors.h"
#include "store/cursor.h"

namespace {

std::string Bytes(const QString& text) { return ToWindows1250(text).toStdString(); }

bool FindKey(store::Cursor& config, const char* key) {
  bool found = false;
  RequireOk(config.Find("key", {key}, {}, &found));
  return found;
}

int InRange(int index, int count) { return index >= 0 && index < count ? index : -1; }

// An INI integer as the Windows profile functions read one: optional sign,
// decimal digits or "$"/"0x" hexadecimal, blanks around allowed. Anything
// else is no integer at all.
bool ParseIniInteger(const char* text, int* out) {
  if (!text) return false;
  QString value = QString::fromLatin1(text).trimmed();
  bool negative = false;
  if (value.startsWith(u'-') || value.startsWith(u'+')) {
    negative = value.startsWith(u'-');
    value.remove(0, 1);
  }
  int base = 10;
  if (value.startsWith(u'$')) {
    value.remove(0, 1);
    base = 16;
  } else if (value.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
    value.remove(0, 2);
    base = 16;
  }
  if (value.isEmpty() || value.startsWith(u'-') || value.startsWith(u'+')) return false;
  bool ok = false;
  const int number = value.toInt(&ok, base);
  if (!ok) return false;
  *out = negative ? -number : number;
  return true;
}

}  // namespace

bool FindSetting(Session& session, const char* key, QString* value) {
  store::Cursor& config = session.Dbf2();
  if (!FindKey(config, key)) return false;
  *value = FromWindows1250(QByteArray::fromStdString(config.Text("value")));
  return true;
}

bool UpsertSetting(Session& session, const char* key, const QString& value, Refusal refusal) {
  store::Cursor& config = session.Dbf2();
  if (FindKey(config, key)) {
    RequireOk(config.Edit());
  } else {
    RequireOk(config.Append());
  }
  RequireOk(config.SetText("key", key));
  RequireOk(config.SetText("value", Bytes(value)));
  return PostRow(config, refusal);
}

void LoadSettingsView(Session& session, SettingsFields& view, int viewKey) {
  if (viewKey == view.loadedViewKey) return;
  view.loadedViewKey = viewKey;
  FillSettingsView(session, view);
}

void FillSettingsView(Session& session, SettingsFields& view) {
  QString value;
  if (FindSetting(session, kKeyAdminPhone, &value)) view.SetPhone(SettingsFields::Field::kAdminPhone, value);
  if (FindSetting(session, kKeyControllerPhone, &value)) {
    view.SetPhone(SettingsFields::Field::kControllerPhone, value);
  }
  if (FindSetting(session, kKeyPort, &value)) view.SetPortIndex(InRange(ParseNumber(value) - 1, kPortCount));
  if (FindSetting(session, kKeyRelayTime, &value)) view.SetRelayIndex(InRange(ParseNumber(value), kRelayTimeCount));
  if (FindSetting(session, kKeySimDate, &value)) view.SetDateText(value);
}

namespace {

using Field = SettingsFields::Field;
const std::pair<Field, const char*> kPhones[] = {{Field::kAdminPhone, kKeyAdminPhone},
                                                 {Field::kControllerPhone, kKeyControllerPhone}};

}  // namespace

bool TakeSettingsPhones(Session& session, UserInterface& ui, SettingsFields& view) {
  for (const auto& [field, key] : kPhones) {
    QString stored;
    if (view.Phone(field).isEmpty() && FindSetting(session, key, &stored)) view.SetPhone(field, stored);
  }
  QString numbers[2];
  for (int i = 0; i < 2; ++i) {
    const Field field = kPhones[i].first;
    if (!CheckPhoneField(ui, view.Phone(field), kMinPhoneLength, kSettingsPhoneLength, &numbers[i],
                         [&view, field] { view.ShowField(field); })) {
      return false;
    }
  }
  // The view shows what is stored: a configuration write sends the view's
  // phones, and they must be the numbers that passed, not what was typed.
  for (int i = 0; i < 2; ++i) view.SetPhone(kPhones[i].first, numbers[i]);
  return true;
}

bool SaveSettingsView(Session& session, UserInterface& ui, SettingsFields& view) {
  // The port, the date and the relay time are stored whatever becomes of
  // the phones: a first start has no phones to give, they are what it
  // reads from the controller. A front end without a port or a date chosen
  // (the command line before either was ever set) stores no made-up value.
  if (view.PortIndex() >= 0) UpsertSetting(session, kKeyPort, QString::number(view.PortIndex() + 1));
  if (!view.DateText().isEmpty()) UpsertSetting(session, kKeySimDate, view.DateText());
  UpsertSetting(session, kKeyRelayTime, QString::number(view.RelayIndex()));
  // Boxes left empty, with nothing stored for them, have nothing to save.
  bool anyPhone = false;
  for (const auto& [field, key] : kPhones) {
    QString stored;
    anyPhone = anyPhone || !view.Phone(field).isEmpty() || FindSetting(session, key, &stored);
  }
  if (!anyPhone) return true;
  if (!TakeSettingsPhones(session, ui, view)) return false;
  for (const auto& [field, key] : kPhones) UpsertSetting(session, key, view.Phone(field));
  return true;
}

StartOptions ReadSettingsFile(const QString& path) {
  CSimpleIniA ini;  // keys compared without regard to case, file order kept
  const QByteArray file = QFile::encodeName(path);
  ini.LoadFile(file.constData());
  StartOptions options;
  int number = 0;
  if (ParseIniInteger(ini.GetValue("option", "raptime"), &number)) options.raptime = number;
  if (ParseIniInteger(ini.GetValue("option", "readgap"), &number)) options.readgap = qMax(0, number);
  if (ParseIniInteger(ini.GetValue("option", "admin"), &number)) options.admin = number != 0;
  // Written back, so the file names the key from the first start on; only
  // when it does not already hold the value, so that starts do not rewrite
  // the file under one another.
  const QByteArray raptime = QByteArray::number(options.raptime);
  const char* stored = ini.GetValue("option", "raptime");
  if (!stored || raptime != stored) SetIniValue(path, "option", "raptime", raptime);
  return options;
}

QString ReadCountryCode(const QString& path) {
  CSimpleIniA ini;
  ini.LoadFile(QFile::encodeName(path).constData());
  const QString code = QString::fromLatin1(ini.GetValue("option", "kraj", "")).trimmed();
  const bool digits = !code.isEmpty() && code.size() <= 3 &&
                      std::all_of(code.begin(), code.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
  return digits ? code : QString::fromLatin1(kDefaultCountryCode);
}
