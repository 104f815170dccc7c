// The command line's settings, SIM reminder, port and PIN commands.

#include <QDate>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/commands.h"
#include "cli/terminal.h"
#include "controller/config_transfer.h"
#include "core/access_lock.h"
#include "core/phone_number.h"
#include "core/session.h"
#include "core/settings.h"
#include "outcome/outcome_text.h"
#include "serial/link.h"
#include "serial/port_names.h"

namespace {

// A SIM date typed as YYYY-MM-DD, in the settings' own form; bad usage, with
// `problem`, for anything else.
QString SimDateText(const QString& typed, const char* problem) {
  const QDate date = QDate::fromString(typed, Qt::ISODate);
  if (!date.isValid()) throw Usage{QString::fromLatin1(problem)};
  return date.toString(QStringLiteral("d.MM.yyyy"));
}

void PrintSettings(Session& session, QTextStream& out) {
  for (const char* key : {kKeyAdminPhone, kKeyControllerPhone, kKeyPort, kKeyRelayTime, kKeySimDate, kKeyHostIp,
                          kKeyHost, kKeyServerPhone, kKeyServerIp, kKeyOstiv}) {
    QString value;
    if (FindSetting(session, key, &value)) out << key << '\t' << value << '\n';
  }
  out.flush();
}

}  // namespace

int RunConfig(Call& c) {
  const QString what = c.args.value(0);
  const Options o = TakeOptions(
      c.args.mid(1),
      {QStringLiteral("--admin"), QStringLiteral("--controller"), QStringLiteral("--relay"), QStringLiteral("--sim")},
      {});
  Expect(o, 0, c.command.usage);
  // The settings view as the window would show it, loaded from the table.
  SettingsValues view;
  LoadSettingsView(c.session, view, 1);
  if (what == QLatin1String("show") && o.values.isEmpty()) {
    PrintSettings(c.session, c.out);
    return 0;
  }
  if (what == QLatin1String("read") && o.values.isEmpty()) {
    return c.ui.Tell(Describe(ReadConfiguration(c.link, c.progress, view)));
  }
  if (what != QLatin1String("write") && what != QLatin1String("save")) {
    throw Usage{QStringLiteral("config show | read | write | save")};
  }
  if (o.Has("--sim")) {
    if (what != QLatin1String("save")) throw Usage{QStringLiteral("--sim is for config save; remind sends the date")};
    view.dateText = SimDateText(o.Value("--sim"), "--sim takes a date as YYYY-MM-DD");
  }
  if (o.Has("--relay")) {
    bool ok = false;
    const int relay = o.Value("--relay").toInt(&ok);
    if (!ok || relay < 0 || relay >= kRelayTimeCount) throw Usage{QStringLiteral("--relay is 0 to 6")};
    view.relayIndex = relay;
  }
  // Checked here, before anything is asked or sent: with the save
  // declined, the view's phones go to the controller as they stand.
  bool phonesTaken = true;
  for (const auto& [option, phone] :
       {std::pair{"--admin", &view.adminPhone}, std::pair{"--controller", &view.controllerPhone}}) {
    if (!o.Has(option)) continue;
    phonesTaken = TakeNumber(c.ui, o.Value(option), kMinPhoneLength, kSettingsPhoneLength, phone) && phonesTaken;
  }
  if (!phonesTaken) return 1;
  if (what == QLatin1String("save")) {
    // "ZAPISZ ZMIANY": the table only, nothing goes to the controller. A
    // phone the check refuses has been named.
    if (!SaveSettingsView(c.session, c.ui, view)) return 1;
    c.ui.Say(QString::fromUtf8("Zapisano ustawienia"));
    return 0;
  }
  // Typed into the view: the write offers to save it first.
  if (!o.values.isEmpty()) c.session.UnsavedChanges = true;
  return c.ui.Tell(Describe(WriteConfiguration(c.link, c.progress, view)));
}

int RunRemind(Call& c) {
  const Options o = TakeOptions(c.args, {}, {});
  Expect(o, 1, c.command.usage);
  const QString dateText = SimDateText(o.positional[0], "remind takes a date as YYYY-MM-DD");
  const ReminderResult result =
      SendReminder(c.link, c.progress, QDate::fromString(dateText, QStringLiteral("d.MM.yyyy")));
  // The date the controller now reminds of is the one the settings keep.
  if (result.Succeeded()) UpsertSetting(c.session, kKeySimDate, dateText);
  return c.ui.Tell(Describe(result));
}

int RunPort(Call& c) {
  const QString settingsFile = c.session.FilePath(kSettingsFileName);
  const QString what = c.args.value(0);
  if (what == QLatin1String("list") && c.args.size() == 1) {
    const QList<PortEntry> entries = EnumerateSerialPorts(settingsFile);
    // A port this user may not open is listed all the same, marked, with the
    // way to be let in told once below the list.
    QString denied;
    for (const PortEntry& entry : entries) {
      c.out << "COM" << entry.number << '\t' << entry.device << '\t' << entry.text;
      if (!PortAccessible(entry.device)) {
        c.out << '\t' << QString::fromUtf8("brak uprawnień");
        if (denied.isEmpty()) denied = entry.device;
      }
      c.out << '\n';
    }
    c.out.flush();
    if (entries.isEmpty()) c.ui.Say(QString::fromUtf8("Nie znaleziono żadnego portu szeregowego"));
    if (!denied.isEmpty()) c.ui.Say(PortAccessAdvice(denied));
    return 0;
  }
  if (what != QLatin1String("set") || c.args.size() != 2) throw Usage{QString::fromLatin1(c.command.usage)};
  const QString choice = c.args[1];
  const PortChoice resolved = ResolvePort(settingsFile, choice);
  int number = resolved.number;
  if (resolved.byPath) {
    // A device is stored under the number the port picker gives it, as the
    // window's picker does; only a present device can be picked.
    number = 0;
    for (const PortEntry& entry : EnumerateSerialPorts(settingsFile)) {
      if (entry.device != resolved.device) continue;
      number = entry.number;
      QString problem;
      if (entry.newAlias && entry.number <= kPortCount &&
          !RememberPortAlias(settingsFile, entry.number, entry.device, &problem)) {
        c.ui.Say(problem);
        return 1;
      }
    }
    // A device the system does not list as a serial port (a pseudo-terminal
    // with a simulator on its far end, an adapter of its own kind) is taken
    // when it is a character device that is there.
    struct stat info {};
    if (number == 0 && ::stat(QFile::encodeName(resolved.device).constData(), &info) == 0 && S_ISCHR(info.st_mode)) {
      bool fresh = false;
      number = NumberForDevice(settingsFile, resolved.device, &fresh);
      QString problem;
      if (fresh && !RememberPortAlias(settingsFile, number, resolved.device, &problem)) {
        c.ui.Say(problem);
        return 1;
      }
    }
    if (number == 0) {
      c.ui.Say(QString::fromUtf8("Nie znaleziono portu ") + choice);
      return 1;
    }
  }
  if (number < 1 || number > kPortCount) {
    c.ui.Say(QString::fromUtf8("Port poza zakresem COM1…COM%1: ").arg(kPortCount) + choice);
    return 1;
  }
  UpsertSetting(c.session, kKeyPort, QString::number(number));
  c.ui.Say(QStringLiteral("COM%1 = %2").arg(number).arg(PortDevice(settingsFile, number)));
  return 0;
}

int RunPin(Call& c) {
  const Options o = TakeOptions(c.args, {QStringLiteral("--new-pin")}, {});
  if (o.positional != QStringList{QStringLiteral("set")}) throw Usage{QString::fromLatin1(c.command.usage)};
  QString pin = o.Value("--new-pin");
  if (!o.Has("--new-pin")) {
    if (!isatty(STDIN_FILENO)) {
      c.ui.Say(QString::fromUtf8("Podaj nowy PIN w --new-pin albo uruchom polecenie w terminalu"));
      return 1;
    }
    QTextStream err(stderr);
    err << QString::fromUtf8("Nowy ");
    pin = ReadPin(err);
    err << QString::fromUtf8("Powtórz nowy ");
    if (ReadPin(err) != pin) {
      c.ui.Say(QString::fromUtf8("Podane PIN-y się różnią; PIN nie został zmieniony"));
      return 1;
    }
  }
  ChangePin(c.session, pin);
  c.ui.Say(QString::fromUtf8("Zmieniono PIN"));
  return 0;
}
