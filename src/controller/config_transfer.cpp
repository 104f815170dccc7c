#include "controller/config_transfer.h"

#include "app/session.h"
#include "app/settings.h"
#include "app/user_interface.h"
#include "common/parse_number.h"
#include "serial/link.h"

namespace {

// Puts the line into LastCommand, sends it and waits; the reply is the
// parser's business.
void Exchange(Session& session, const QString& line) {
  Link& link = session.link();
  link.state.LastCommand = line;
  link.state.ReplySeen = false;
  link.SendCommand(line);
  link.WaitForReply(quint32(session.ReplyWaitMs));
}

QString ServiceCodeLine(int code, const QString& value) {
  return QStringLiteral("AT+CPBM=%1,%2,%2;").arg(code).arg(value);
}

}  // namespace

void ReadConfiguration(Session& session, UserInterface& ui, SettingsFields& view) {
  {
    PortSession port(session, ui);
    if (!port.ok()) return;
    Exchange(session, QStringLiteral("AT+CPBR=001"));
    Exchange(session, QStringLiteral("AT+CPBR=3001"));
    Exchange(session, QStringLiteral("AT+CPBR=3003"));
    if (session.AdminMode) {
      Exchange(session, QStringLiteral("AT+CPBM=1023"));
      Exchange(session, QStringLiteral("AT+CPBM=1024"));
    }
  }
  LoadSettingsView(session, view, -1);
}

void WriteConfiguration(Session& session, UserInterface& ui, SettingsFields& view) {
  if (session.UnsavedChanges && ui.ShowDialog(QString::fromUtf8(kUnsavedQuestion), kQuestion) == 1) {
    // The refused phone has just been named wrong to the user; sending it
    // would overwrite the controller's administrator entry with it.
    if (!SaveSettingsView(session, ui, view)) return;
  }
  PortSession port(session, ui, false);
  if (!port.ok()) return;
  QString stored;
  const int relay = FindSetting(session, kKeyRelayTime, &stored) ? ParseNumber(stored) : 1;
  view.SetRelayIndex(relay >= 0 && relay < kRelayTimeCount ? relay : -1);
  port.RaiseDtr();
  const int code = view.RelayIndex() >= 0 ? view.RelayIndex() + 3 : 4;
  Exchange(session, ServiceCodeLine(1021, QString::number(code)));
  Exchange(session, ServiceCodeLine(1012, view.Phone(SettingsFields::Field::kControllerPhone)));
  if (FindSetting(session, kKeyHostIp, &stored)) Exchange(session, ServiceCodeLine(1023, stored));
  if (FindSetting(session, kKeyHost, &stored)) Exchange(session, ServiceCodeLine(1024, stored));
  Exchange(session, QStringLiteral("AT+CPBW=001,\"%1\",145,\"%1\";").arg(view.Phone(SettingsFields::Field::kAdminPhone)));
}

QString ReminderLine(const QDate& date) {
  const QDate day = date.isValid() ? date : QDate(1899, 12, 30);
  return QStringLiteral("AT+CPBM=1004,6,") + day.toString(QStringLiteral("yyMMdd")) + QStringLiteral("0000;");
}

void SendReminder(Session& session, UserInterface& ui, SettingsFields& view) {
  PortSession port(session, ui);
  if (!port.ok()) return;
  Exchange(session, ReminderLine(view.Date()));
}
