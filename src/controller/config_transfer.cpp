#include "controller/config_transfer.h"

#include "common/windows1250.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "serial/link.h"
#include "serial/reply_store.h"

namespace {

// Sends the line and waits for its reply, unless the line has gone dead.
bool Exchange(Link& link, LineTally& tally, const QString& line) {
  return !tally.LineDead() && ExchangeCounted(link, tally, line) == LineOutcome::kConfirmed;
}

// Sends one setting of a configuration write, `what` it is named in the
// outcome, when its value may go into a line.
void SendSetting(Link& link, ConfigWriteResult& result, const char* what, const QString& value, ValueKind kind,
                 QString (*line)(const QString&)) {
  QString forLine;
  if (result.lines.LineDead() || !ValueForLine(result.lines, value, kind, &forLine)) return;
  if (Exchange(link, result.lines, line(forLine))) result.sent << QString::fromUtf8(what) + u' ' + forLine;
}

}  // namespace

QList<std::pair<QString, QString>> SettingsOfReply(const QList<Reply>& replies) {
  QList<std::pair<QString, QString>> settings;
  for (const Reply& reply : replies) {
    if (reply.kind == ReplyKind::kSystem) {
      settings.append({QString::fromLatin1(kKeyRelayTime), QString::fromLatin1(RelayChoice(reply.relayCode))});
    } else if (reply.kind == ReplyKind::kEntry && !reply.emptySlot) {
      if (const char* key = SettingOfSlot(reply.slot)) {
        settings.append({QString::fromLatin1(key), FromWindows1250(SettingValue(reply.slot, reply.number))});
      }
    }
  }
  return settings;
}

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

ConfigReadResult ReadConfiguration(Link& link, Progress& progress, SettingsFields& view) {
  ConfigReadResult result;
  Session& session = link.session();
  {
    PortSession port(link);
    if (!Opened(port, &result)) return result;
    const QStringList lines = ConfigurationReadLines(link.options().adminMode);
    for (int i = 0; i < lines.size() && !result.lines.LineDead() && !progress.Cancelled(); ++i) {
      const Answer answer = link.Exchange(lines[i], Await::kReply);
      result.lines.Add(lines[i], answer.outcome);
      // A refused row is dropped and the rest is stored.
      for (const auto& [key, value] : SettingsOfReply(answer.replies)) {
        UpsertSetting(session, key.toLatin1().constData(), value, Refusal::kDrop);
      }
    }
  }
  FillSettingsView(session, view);
  view.loadedViewKey = -1;
  // What was typed into the view is replaced by what the controller holds:
  // only a list row still being typed is left unsaved.
  const ListState list = session.listState();
  if (list != ListState::kInsert && list != ListState::kEdit) session.UnsavedChanges = false;
  view.ShowSaved();
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}

ConfigWriteResult WriteConfiguration(Link& link, Progress& progress, SettingsFields& view) {
  ConfigWriteResult result;
  Session& session = link.session();
  UserInterface& ui = progress.ui();
  if (session.UnsavedChanges && progress.Ask(Question::kSaveSettings, QString::fromUtf8(kUnsavedQuestion))) {
    // The refused phone has just been named wrong to the user; sending it
    // would overwrite the controller's administrator entry with it.
    if (!SaveSettingsView(session, ui, view)) {
      result.Fail(Stop::kBadInput);
      return result;
    }
  } else if (!TakeSettingsPhones(session, ui, view)) {
    // Unsaved, but held to the same rule: a number the save refuses is no
    // better for going to the controller straight from the view.
    result.Fail(Stop::kBadInput);
    return result;
  }
  PortSession port(link, false);
  if (!Opened(port, &result)) return result;
  port.RaiseDtr();
  // What the view shows goes, the relay time as it stands in its list: a
  // NIE to saving means only that nothing is stored here.
  const int relay = view.RelayIndex();
  if (Exchange(link, result.lines, RelayTimeLine(relay))) {
    result.sent << QString::fromUtf8("czas przekaźnika ") + QString::fromLatin1(kRelayTimes[relay >= 0 && relay < kRelayTimeCount ? relay : 1]);
  }
  SendSetting(link, result, "telefon sterownika", view.Phone(SettingsFields::Field::kControllerPhone),
              ValueKind::kPhone, [](const QString& v) { return ServiceCodeLine(kControllerPhoneCode, v); });
  QString stored;
  if (FindSetting(session, kKeyHostIp, &stored)) {
    SendSetting(link, result, "adres hosta", stored, ValueKind::kSetting,
                [](const QString& v) { return ServiceCodeLine(kHostIpCode, v); });
  }
  if (FindSetting(session, kKeyHost, &stored)) {
    SendSetting(link, result, "host", stored, ValueKind::kSetting,
                [](const QString& v) { return ServiceCodeLine(kHostCode, v); });
  }
  SendSetting(link, result, "telefon administratora", view.Phone(SettingsFields::Field::kAdminPhone),
              ValueKind::kPhone, AdminPhoneLine);
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}

QString ReminderLine(const QDate& date) {
  const QDate day = date.isValid() ? date : QDate(1899, 12, 30);
  return QStringLiteral("AT+CPBM=1004,6,") + day.toString(QStringLiteral("yyMMdd")) + QStringLiteral("0000;");
}

ReminderResult SendReminder(Link& link, Progress& progress, const QDate& date) {
  ReminderResult result;
  result.date = date;
  {
    PortSession port(link);
    if (!Opened(port, &result)) return result;
    if (!progress.Cancelled()) Exchange(link, result.lines, ReminderLine(date));
  }
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}
