#include "controller/config_transfer.h"

#include "core/session.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "common/parse_number.h"
#include "serial/command_tally.h"
#include "serial/link.h"

namespace {

// Sends the line and waits for its reply, unless the line has gone dead;
// what the reply carries is the reply store's business.
void Exchange(Link& link, CommandTally& tally, const QString& line, std::initializer_list<QString> values = {}) {
  if (tally.LineDead()) return;
  ExchangeChecked(link, tally, line, values);
}

}  // namespace

QString ServiceCodeLine(int code, const QString& value) {
  return QStringLiteral("AT+CPBM=%1,%2,%2;").arg(code).arg(value);
}

QStringList ConfigurationReadLines(bool adminMode) {
  QStringList lines{QStringLiteral("AT+CPBR=001"), QStringLiteral("AT+CPBR=3001"), QStringLiteral("AT+CPBR=3003")};
  if (adminMode) lines << QStringLiteral("AT+CPBM=1023") << QStringLiteral("AT+CPBM=1024");
  return lines;
}

QString RelayTimeLine(int relayIndex) {
  return ServiceCodeLine(kRelayTimeCode, QString::number(relayIndex >= 0 ? relayIndex + 3 : 4));
}

QString AdminPhoneLine(const QString& phone) { return QStringLiteral("AT+CPBW=001,\"%1\",145,\"%1\";").arg(phone); }

void ReadConfiguration(Link& link, UserInterface& ui, SettingsFields& view) {
  Session& session = link.session();
  CommandTally tally;
  {
    PortSession port(link, ui);
    if (!port.ok()) return;
    for (const QString& line : ConfigurationReadLines(session.AdminMode)) Exchange(link, tally, line);
  }
  LoadSettingsView(session, view, -1);
  // What was typed into the view is replaced by what the controller holds:
  // only a list row still being typed is left unsaved.
  const ListState list = session.listState();
  if (list != ListState::kInsert && list != ListState::kEdit) session.UnsavedChanges = false;
  view.ShowSaved();
  // A controller that said nothing at all has given the view nothing new.
  if (tally.PortLost()) {
    ui.ShowDialog(QString::fromUtf8(kPortLostMessage), kNotice);
  } else if (tally.unanswered() == tally.total()) {
    ui.ShowDialog(QString::fromUtf8(kCommunicationError), kNotice);
  } else if (!tally.AllConfirmed()) {
    // Part of the view may be new and part old: the user must know which.
    ui.ShowDialog(UnconfirmedMessage(tally), kNotice);
  }
}

void WriteConfiguration(Link& link, UserInterface& ui, SettingsFields& view) {
  Session& session = link.session();
  if (session.UnsavedChanges && ui.ShowDialog(QString::fromUtf8(kUnsavedQuestion), kQuestion) == 1) {
    // The refused phone has just been named wrong to the user; sending it
    // would overwrite the controller's administrator entry with it.
    if (!SaveSettingsView(session, ui, view)) return;
  } else if (!TakeSettingsPhones(session, ui, view)) {
    // Unsaved, but held to the same rule: a number the save refuses is no
    // better for going to the controller straight from the view.
    return;
  }
  PortSession port(link, ui, false);
  if (!port.ok()) return;
  QString stored;
  const int relay = FindSetting(session, kKeyRelayTime, &stored) ? ParseNumber(stored) : 1;
  view.SetRelayIndex(relay >= 0 && relay < kRelayTimeCount ? relay : -1);
  port.RaiseDtr();
  CommandTally tally;
  Exchange(link, tally, RelayTimeLine(view.RelayIndex()));
  const QString controller = view.Phone(SettingsFields::Field::kControllerPhone);
  Exchange(link, tally, ServiceCodeLine(kControllerPhoneCode, controller), {controller});
  if (FindSetting(session, kKeyHostIp, &stored)) Exchange(link, tally, ServiceCodeLine(kHostIpCode, stored), {stored});
  if (FindSetting(session, kKeyHost, &stored)) Exchange(link, tally, ServiceCodeLine(kHostCode, stored), {stored});
  const QString admin = view.Phone(SettingsFields::Field::kAdminPhone);
  Exchange(link, tally, AdminPhoneLine(admin), {admin});
  ReportTally(link, ui, tally, QString::fromUtf8("Zapisano konfigurację w sterowniku"));
}

QString ReminderLine(const QDate& date) {
  const QDate day = date.isValid() ? date : QDate(1899, 12, 30);
  return QStringLiteral("AT+CPBM=1004,6,") + day.toString(QStringLiteral("yyMMdd")) + QStringLiteral("0000;");
}

void SendReminder(Link& link, UserInterface& ui, SettingsFields& view) {
  CommandTally tally;
  {
    PortSession port(link, ui);
    if (!port.ok()) return;
    Exchange(link, tally, ReminderLine(view.Date()));
  }
  ReportTally(link, ui, tally, QString::fromUtf8("Zapisano w sterowniku przypomnienie o ważności karty SIM"));
}
