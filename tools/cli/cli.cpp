#include "cli/cli.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "core/access_lock.h"
#include "core/phone_number.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "common/application_directory.h"
#include "common/parse_number.h"
#include "common/windows1250.h"
#include "controller/backup.h"
#include "controller/config_transfer.h"
#include "controller/event_log.h"
#include "phonelist/list_commands.h"
#include "phonelist/list_file.h"
#include "schema/schema.h"
#include "serial/link.h"
#include "serial/list_transfer.h"
#include "serial/port_names.h"
#include "store/collation.h"
#include "store/cursor.h"

namespace {

QString Text(const std::string& bytes) { return FromWindows1250(QByteArray::fromStdString(bytes)); }

// The questions that ask whether to go on at all: answered NIE, the command
// has done nothing, which a script must not take for success.
bool IsGoAhead(const QString& question) {
  for (const char* text : {kDeleteMarkedQuestion, kFormatQuestion, kRestoreQuestion}) {
    if (question == QString::fromUtf8(text)) return true;
  }
  return false;
}

// The person at the terminal: messages on standard error, questions asked
// there (or answered by --yes, by a command's own option, or "NIE" when
// nobody can answer), and a progress bar when standard error is a terminal.
class TerminalUi : public UserInterface {
 public:
  TerminalUi(QTextStream& err, bool yes) : err_(err), yes_(yes) {}

  QMap<QString, bool> preset;  // answers fixed by a command's option
  int messages = 0;
  // A question whose NIE means the command does nothing was answered NIE.
  bool declined = false;

  int ShowDialog(const QString& text, int kind) override {
    EndBar();
    err_ << text << Qt::endl;
    if (kind != kQuestion) {
      ++messages;
      return 0;
    }
    if (preset.contains(text)) return preset.value(text) ? 1 : 0;
    if (yes_) return 1;
    bool agreed = false;
    if (isatty(STDIN_FILENO)) {
      err_ << "[t/N] " << Qt::flush;
      std::string answer;
      std::getline(std::cin, answer);
      agreed = !answer.empty() && (answer[0] == 't' || answer[0] == 'T' || answer[0] == 'y' || answer[0] == 'Y');
    }
    if (!agreed && IsGoAhead(text)) declined = true;
    return agreed ? 1 : 0;
  }
  void ShowError(const QString& text) override {
    EndBar();
    err_ << text << Qt::endl;
    ++messages;
  }
  // What a command did is printed like any message but is no failure.
  void ShowOutcome(const QString& text) override {
    EndBar();
    err_ << text << Qt::endl;
  }
  void ShowProgress() override {}
  void UpdateProgress(int current, int total) override {
    if (isatty(STDERR_FILENO) && total > 0) {
      const int percent = int(qint64(current) * 100 / total);
      const int filled = qBound(0, percent * 30 / 100, 30);
      err_ << '\r' << '[' << QString(filled, u'#') << QString(30 - filled, u' ') << "] " << percent << "% " << current
           << '/' << total << Qt::flush;
      barShown_ = true;
    }
    ProcessEvents();
  }
  void HideProgress() override { EndBar(); }
  void ProcessEvents() override { pacer_.Pass(); }
  void SuspendViewUpdates(bool) override {}

 private:
  void EndBar() {
    if (!barShown_) return;
    err_ << Qt::endl;
    barShown_ = false;
  }

  QTextStream& err_;
  bool yes_;
  bool barShown_ = false;
  EventPacer pacer_;
};

// Ctrl+C: the handler only writes a byte; the event loop, running inside
// every wait, turns it into "ANULUJ".
int g_interruptPipe[2] = {-1, -1};

void OnInterrupt(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(g_interruptPipe[1], &byte, 1);
}

class InterruptAsCancel {
 public:
  InterruptAsCancel(Session& session, bool enabled) {
    if (!enabled || pipe(g_interruptPipe) != 0) return;
    notifier_ = new QSocketNotifier(g_interruptPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, [&session, this] {
      char byte = 0;
      [[maybe_unused]] const ssize_t n = read(g_interruptPipe[0], &byte, 1);
      session.CancelRequested = true;
      interrupted = true;
    });
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
    installed_ = true;
  }
  ~InterruptAsCancel() {
    if (installed_) sigaction(SIGINT, &previous_, nullptr);
    delete notifier_;
    for (int& fd : g_interruptPipe) {
      if (fd >= 0) close(fd);
      fd = -1;
    }
  }
  InterruptAsCancel(const InterruptAsCancel&) = delete;
  InterruptAsCancel& operator=(const InterruptAsCancel&) = delete;

  bool interrupted = false;

 private:
  QSocketNotifier* notifier_ = nullptr;
  struct sigaction previous_ {};
  bool installed_ = false;
};

QString ReadPin(QTextStream& err) {
  err << "PIN: " << Qt::flush;
  termios saved{};
  const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios silent = saved;
    silent.c_lflag &= ~tcflag_t(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &silent);
  }
  std::string pin;
  std::getline(std::cin, pin);
  if (terminal) {
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    err << Qt::endl;
  }
  return QString::fromLocal8Bit(pin.c_str());
}

struct Usage {
  QString problem;
};

// A SIM date typed as YYYY-MM-DD, in the settings' own form; bad usage, with
// `problem`, for anything else.
QString SimDateText(const QString& typed, const char* problem) {
  const QDate date = QDate::fromString(typed, Qt::ISODate);
  if (!date.isValid()) throw Usage{QString::fromLatin1(problem)};
  return date.toString(QStringLiteral("d.MM.yyyy"));
}

// A number given on the command line, by the rule the window's boxes follow
// (blanks and dashes dropped, nothing else but digits after an optional
// "+", never cut). A refused one is named, so a script with many numbers
// tells which; nothing has been done when it is.
bool TakeNumber(UserInterface& ui, const QString& typed, int minLength, int maxLength, QString* number) {
  QString normalised;
  if (NormalisePhoneNumber(typed, maxLength, &normalised) && normalised.size() >= minLength) {
    *number = normalised;
    return true;
  }
  ui.ShowDialog(QString::fromUtf8(kBadPhoneMessage) + QStringLiteral(": ") + typed, kNotice);
  return false;
}

// The numbers to mark: every row in list order, or the given ones. False
// (nothing marked) when a given number is refused.
bool MarkNumbers(Session& session, UserInterface& ui, const QStringList& args) {
  if (args.isEmpty()) throw Usage{QStringLiteral("give --all or the numbers")};
  store::Cursor& list = session.Dbf1();
  if (args == QStringList{QStringLiteral("--all")}) {
    RequireOk(list.Settle());
    for (list.First(); !list.Eof(); list.Next()) session.memcheck.Append(list.Text("Tel"));
    list.First();
    return true;
  }
  for (const QString& tel : args) {
    if (tel.startsWith(u'-')) throw Usage{QStringLiteral("unknown option ") + tel};
  }
  // Every refused number is named before the command gives up. No floor:
  // a short number may be on the list.
  QStringList numbers;
  for (const QString& tel : args) {
    QString number;
    if (TakeNumber(ui, tel, 0, kListPhoneLength, &number)) numbers << number;
  }
  if (numbers.size() != args.size()) return false;
  for (const QString& number : numbers) session.memcheck.Append(ToWindows1250(number).toStdString());
  return true;
}

// Options of a command: "--name value" pairs and flags, the rest positional.
struct Options {
  QMap<QString, QString> values;
  QStringList positional;
};

Options TakeOptions(const QStringList& args, const QStringList& withValue, const QStringList& flags) {
  Options options;
  for (int i = 0; i < args.size(); ++i) {
    const QString& arg = args[i];
    if (withValue.contains(arg)) {
      if (i + 1 >= args.size()) throw Usage{arg + QStringLiteral(" needs a value")};
      options.values.insert(arg, args[++i]);
    } else if (flags.contains(arg)) {
      options.values.insert(arg, QString());
    } else if (arg.startsWith(QLatin1String("--"))) {
      throw Usage{QStringLiteral("unknown option ") + arg};
    } else {
      options.positional << arg;
    }
  }
  return options;
}

void Expect(const Options& options, int count, const char* what) {
  if (options.positional.size() != count) throw Usage{QString::fromLatin1(what)};
}

void PrintList(Session& session, QTextStream& out, const QString& order) {
  static const QMap<QString, const char*> indexes = {
      {QStringLiteral("name"), kImieIndex}, {QStringLiteral("surname"), kNazwiskoIndex}, {QStringLiteral("tel"), kTelIndex}};
  store::Cursor& list = session.Dbf1();
  if (!order.isEmpty()) {
    if (!indexes.contains(order)) throw Usage{QStringLiteral("--order is name, surname or tel")};
    RequireOk(list.SetOrder(indexes.value(order)));
  }
  for (list.First(); !list.Eof(); list.Next()) {
    out << list.Text("ID").c_str() << '\t' << Text(list.Text("Imie")) << '\t' << Text(list.Text("Nazwisko")) << '\t'
        << Text(list.Text("Tel")) << '\t' << list.Text("ST").c_str() << '\n';
  }
  out.flush();
}

void PrintSettings(Session& session, QTextStream& out) {
  for (const char* key : {kKeyAdminPhone, kKeyControllerPhone, kKeyPort, kKeyRelayTime, kKeySimDate, kKeyHostIp,
                          kKeyHost, kKeyServerPhone, kKeyServerIp, kKeyOstiv}) {
    QString value;
    if (FindSetting(session, key, &value)) out << key << '\t' << value << '\n';
  }
  out.flush();
}


// A row matches when one of its three texts begins with the search text as
// the store's own prefix find weighs it (case aside, in the user's order).
void PrintFound(Session& session, UserInterface& ui, QTextStream& out, const QString& text) {
  const store::Collation& collation = session.collation();
  const std::string prefix = ToWindows1250(text).toStdString();
  store::Cursor& list = session.Dbf1();
  RequireOk(list.SetOrder(kNazwiskoIndex));
  int found = 0;
  for (list.First(); !list.Eof(); list.Next()) {
    bool match = false;
    for (const char* field : {"Imie", "Nazwisko", "Tel"}) {
      const std::string value = list.Text(field);
      if (value.size() >= prefix.size() &&
          collation.Compare(std::string_view(value).substr(0, prefix.size()), prefix, true) == 0) {
        match = true;
        break;
      }
    }
    if (!match) continue;
    ++found;
    out << list.Text("ID").c_str() << '\t' << Text(list.Text("Imie")) << '\t' << Text(list.Text("Nazwisko")) << '\t'
        << Text(list.Text("Tel")) << '\t' << list.Text("ST").c_str() << '\n';
  }
  list.First();
  out.flush();
  if (found == 0) ui.ShowError(QString::fromUtf8("Nie znaleziono: ") + text);
}

struct Call;

// One command: its line of the usage text, which is also what a handler
// complains with when the words do not fit, and what runs it.
struct Command {
  const char* name;
  const char* usage;
  const char* help;  // nullptr: the usage line says it all
  void (*run)(Call&);
};

// What a handler works with: the run, its link, the terminal, standard
// output, and the words after the command name.
struct Call {
  const Command& command;
  Session& session;
  Link& link;
  TerminalUi& ui;
  QTextStream& out;
  const QStringList& args;
};

// Numbers past an empty slot are only warned of unless asked for: --yes
// alone does not read on, since what lies there may be stale.
void ReadPastHoles(Call& c, const Options& o) {
  c.ui.preset.insert(QString::fromUtf8(kReadOnQuestion), o.values.contains(QStringLiteral("--past-holes")));
}

void ExpectNothingMore(const Call& c) {
  if (!c.args.isEmpty()) throw Usage{QString::fromLatin1(c.command.name) + QStringLiteral(" takes nothing more")};
}

void RunConfig(Call& c) {
  const QString what = c.args.value(0);
  const Options o = TakeOptions(c.args.mid(1), {QStringLiteral("--admin"), QStringLiteral("--controller"),
                                                QStringLiteral("--relay"), QStringLiteral("--sim")},
                                {});
  Expect(o, 0, c.command.usage);
  // The settings view as the window would show it, loaded from the table.
  SettingsValues view;
  LoadSettingsView(c.session, view, 1);
  if (what == QLatin1String("show") && o.values.isEmpty()) {
    PrintSettings(c.session, c.out);
  } else if (what == QLatin1String("read") && o.values.isEmpty()) {
    ReadConfiguration(c.link, c.ui, view);
  } else if (what == QLatin1String("write") || what == QLatin1String("save")) {
    if (o.values.contains(QStringLiteral("--sim"))) {
      if (what != QLatin1String("save")) throw Usage{QStringLiteral("--sim is for config save; remind sends the date")};
      view.dateText = SimDateText(o.values.value(QStringLiteral("--sim")), "--sim takes a date as YYYY-MM-DD");
    }
    if (o.values.contains(QStringLiteral("--relay"))) {
      bool ok = false;
      const int relay = o.values.value(QStringLiteral("--relay")).toInt(&ok);
      if (!ok || relay < 0 || relay >= kRelayTimeCount) throw Usage{QStringLiteral("--relay is 0 to 6")};
      view.relayIndex = relay;
    }
    // Checked here, before anything is asked or sent: with the save
    // declined, the view's phones go to the controller as they stand.
    bool phonesTaken = true;
    for (const auto& [option, phone] : {std::pair{QStringLiteral("--admin"), &view.adminPhone},
                                        std::pair{QStringLiteral("--controller"), &view.controllerPhone}}) {
      if (!o.values.contains(option)) continue;
      phonesTaken = TakeNumber(c.ui, o.values.value(option), kMinPhoneLength, kSettingsPhoneLength, phone) &&
                    phonesTaken;
    }
    if (!phonesTaken) return;
    if (what == QLatin1String("save")) {
      // "ZAPISZ ZMIANY": the table only, nothing goes to the controller.
      if (SaveSettingsView(c.session, c.ui, view)) c.ui.ShowOutcome(QString::fromUtf8("Zapisano ustawienia"));
      return;
    }
    // Typed into the view: the write offers to save it first.
    if (!o.values.isEmpty()) c.session.UnsavedChanges = true;
    WriteConfiguration(c.link, c.ui, view);
  } else {
    throw Usage{QStringLiteral("config show | read | write | save")};
  }
}

void RunPort(Call& c) {
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
    if (entries.isEmpty()) c.ui.ShowOutcome(QString::fromUtf8("Nie znaleziono żadnego portu szeregowego"));
    if (!denied.isEmpty()) c.ui.ShowOutcome(PortAccessAdvice(denied));
    return;
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
      if (entry.newAlias && entry.number <= kPortCount) RememberPortAlias(settingsFile, entry.number, entry.device);
    }
    if (number == 0) {
      c.ui.ShowError(QString::fromUtf8("Nie znaleziono portu ") + choice);
      return;
    }
  }
  if (number < 1 || number > kPortCount) {
    c.ui.ShowError(QString::fromUtf8("Port poza zakresem COM1…COM%1: ").arg(kPortCount) + choice);
    return;
  }
  UpsertSetting(c.session, kKeyPort, QString::number(number));
  c.ui.ShowOutcome(QStringLiteral("COM%1 = %2").arg(number).arg(PortDevice(settingsFile, number)));
}

void RunPin(Call& c) {
  const Options o = TakeOptions(c.args, {QStringLiteral("--new-pin")}, {});
  if (o.positional != QStringList{QStringLiteral("set")}) throw Usage{QString::fromLatin1(c.command.usage)};
  QString pin = o.values.value(QStringLiteral("--new-pin"));
  if (!o.values.contains(QStringLiteral("--new-pin"))) {
    if (!isatty(STDIN_FILENO)) {
      c.ui.ShowError(QString::fromUtf8("Podaj nowy PIN w --new-pin albo uruchom polecenie w terminalu"));
      return;
    }
    QTextStream err(stderr);
    err << QString::fromUtf8("Nowy ");
    pin = ReadPin(err);
    err << QString::fromUtf8("Powtórz nowy ");
    if (ReadPin(err) != pin) {
      c.ui.ShowError(QString::fromUtf8("Podane PIN-y się różnią; PIN nie został zmieniony"));
      return;
    }
  }
  ChangePin(c.session, pin);
  c.ui.ShowOutcome(QString::fromUtf8("Zmieniono PIN"));
}

// The commands in the order of the usage text. Parsing and counting stay in
// each handler: the commands differ in how their words are read (the raw
// numbers of write and delete, the sub-command before the options of config).
constexpr Command kCommands[] = {
    {"list", "list [--order name|surname|tel]", "the phone list: ID, first name, surname, phone, ST",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {QStringLiteral("--order")}, {});
       Expect(o, 0, "list takes no numbers");
       PrintList(c.session, c.out, o.values.value(QStringLiteral("--order")));
     }},
    {"add", "add FIRST SURNAME TEL", "add a phone to the list",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {});
       Expect(o, 3, c.command.usage);
       QString tel;
       if (!TakeNumber(c.ui, o.positional[2], kMinPhoneLength, kListPhoneLength, &tel)) return;
       ManageAction(c.session, nullptr);
       WriteListField(c.session, "Imie", o.positional[0]);
       WriteListField(c.session, "Nazwisko", o.positional[1]);
       WriteListField(c.session, "Tel", tel);
       const ManageResult result = ManageAction(c.session, nullptr);
       if (result == ManageResult::kDuplicate) {
         c.session.Dbf1().Cancel();
         c.ui.ShowError(QString::fromUtf8("Numer jest już na liście: ") + tel);
       }
     }},
    {"remove-local", "remove-local TEL...", "delete phones from the list only",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {});
       if (o.positional.isEmpty()) throw Usage{QString::fromLatin1(c.command.usage)};
       if (!MarkNumbers(c.session, c.ui, o.positional)) return;
       DeleteMarked(c.session, c.ui);
     }},
    {"import", "import FILE|- [--replace] [--strict]",
     "read a list file (- is standard input; --replace: clear the list first; --strict: every line or nothing)",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {QStringLiteral("--replace"), QStringLiteral("--strict")});
       Expect(o, 1, c.command.usage);
       c.ui.preset.insert(QString::fromUtf8(kImportClearQuestion), o.values.contains(QStringLiteral("--replace")));
       // Skipped lines are told with the count, no failure, unless a script
       // wants the file whole or not at all.
       const SkippedLines skipped =
           o.values.contains(QStringLiteral("--strict")) ? SkippedLines::kRefuse : SkippedLines::kOutcome;
       const QString& path = o.positional[0];
       if (path != QLatin1String("-")) {
         ImportList(c.session, c.ui, path, skipped);
         return;
       }
       QFile in;
       QByteArray bytes;
       if (in.open(STDIN_FILENO, QIODevice::ReadOnly)) bytes = in.readAll();
       if (!in.isOpen() || in.error() != QFileDevice::NoError) {
         c.ui.ShowError(QString::fromUtf8("Nie można odczytać standardowego wejścia: ") + in.errorString());
         return;
       }
       ImportListBytes(c.session, c.ui, bytes, path, skipped);
     }},
    {"export", "export FILE|-", "write the list to a list file (- is standard output)",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {});
       Expect(o, 1, c.command.usage);
       const QString& path = o.positional[0];
       if (path != QLatin1String("-")) {
         ExportList(c.session, c.ui, path);
         return;
       }
       const QByteArray bytes = ListFileBytes(c.session, c.ui);
       // The list file's own bytes, not text for the terminal's encoding.
       c.out.flush();
       QFile out;
       if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered) ||
           out.write(bytes) != bytes.size()) {
         c.ui.ShowError(QString::fromUtf8("Nie można zapisać na standardowe wyjście: ") + out.errorString());
       }
     }},
    {"write", "write [--all | TEL...]", "write the numbers into the controller",
     [](Call& c) {
       if (!MarkNumbers(c.session, c.ui, c.args)) return;
       TransferMarked(c.link, c.ui, TransferMode::kWrite);
     }},
    {"delete", "delete [--all | TEL...]", "delete the numbers from the controller and the list",
     [](Call& c) {
       if (!MarkNumbers(c.session, c.ui, c.args)) return;
       TransferMarked(c.link, c.ui, TransferMode::kDelete);
     }},
    {"read", "read [--replace] [--past-holes]",
     "read the controller's phonebook into the list (--past-holes: read on past an empty slot)",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {QStringLiteral("--replace"), QStringLiteral("--past-holes")});
       Expect(o, 0, c.command.usage);
       c.ui.preset.insert(QString::fromUtf8(kReadClearQuestion), o.values.contains(QStringLiteral("--replace")));
       ReadPastHoles(c, o);
       ReadList(c.link, c.ui);
     }},
    {"verify", "verify [--past-holes]", "confirm the list against the controller",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {QStringLiteral("--past-holes")});
       Expect(o, 0, c.command.usage);
       ReadPastHoles(c, o);
       VerifyList(c.link, c.ui);
     }},
    {"format", "format", "clear the controller's phone memory",
     [](Call& c) {
       ExpectNothingMore(c);
       FormatMemory(c.link, c.ui);
     }},
    {"find", "find TEXT", "the rows whose first name, surname or phone begins with TEXT",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {});
       Expect(o, 1, c.command.usage);
       PrintFound(c.session, c.ui, c.out, o.positional[0]);
     }},
    {"config", "config show | read | write | save [--admin TEL] [--controller TEL] [--relay 0..6] [--sim YYYY-MM-DD]",
     nullptr, RunConfig},
    {"remind", "remind YYYY-MM-DD", "send the SIM validity reminder",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {});
       Expect(o, 1, c.command.usage);
       SettingsValues view;
       view.dateText = SimDateText(o.positional[0], "remind takes a date as YYYY-MM-DD");
       const int before = c.ui.messages;
       SendReminder(c.link, c.ui, view);
       // The date the controller now reminds of is the one the settings keep.
       if (c.ui.messages == before) UpsertSetting(c.session, kKeySimDate, view.dateText);
     }},
    {"events", "events N", "fetch the last N events and print the event log",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {});
       Expect(o, 1, c.command.usage);
       FetchEvents(c.link, c.ui, o.positional[0]);
       store::Cursor& reports = c.session.Dbf3();
       for (reports.First(); !reports.Eof(); reports.Next()) {
         c.out << Text(reports.Text("Tel")) << '\t' << Text(reports.Text("Data")) << '\n';
       }
       c.out.flush();
     }},
    {"backup", "backup FILE [--past-holes]", "save the controller's phonebook and settings into a backup file",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {QStringLiteral("--past-holes")});
       Expect(o, 1, c.command.usage);
       ReadPastHoles(c, o);
       BackupController(c.link, c.ui, o.positional[0]);
     }},
    {"restore", "restore FILE [--yes]", "write a backup file's phonebook and settings into the controller",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {QStringLiteral("--yes")});
       Expect(o, 1, c.command.usage);
       if (o.values.contains(QStringLiteral("--yes"))) c.ui.preset.insert(QString::fromUtf8(kRestoreQuestion), true);
       RestoreController(c.link, c.ui, o.positional[0]);
     }},
    {"sync", "sync [--dry-run] [--past-holes]",
     "make the controller hold exactly the list (--dry-run: print the plan, send nothing)",
     [](Call& c) {
       const Options o = TakeOptions(c.args, {}, {QStringLiteral("--dry-run"), QStringLiteral("--past-holes")});
       Expect(o, 0, c.command.usage);
       ReadPastHoles(c, o);
       const bool dryRun = o.values.contains(QStringLiteral("--dry-run"));
       SyncPlan plan;
       if (!SyncList(c.link, c.ui, dryRun, &plan) || !dryRun) return;
       for (const QString& tel : plan.add) c.out << "+ " << tel << '\n';
       for (const QString& tel : plan.remove) c.out << "- " << tel << '\n';
       c.out.flush();
     }},
    {"port", "port list | set COMn|DEVICE", "the serial ports present; choose the controller's port", RunPort},
    {"pin", "pin set [--new-pin PIN]", "change the PIN (asked twice without echo when not given)", RunPin},
};

const Command* FindCommand(const QString& name) {
  for (const Command& command : kCommands) {
    if (name == QLatin1String(command.name)) return &command;
  }
  return nullptr;
}

// What every command takes before its name.
constexpr const char* kGlobalOptions = "[--dir DIR] [--port COMn|DEVICE] [--pin PIN] [--yes] [-v] [--log FILE]";

// The descriptions line up in one column; config's usage line is too long
// to leave room for one.
QString UsageText() {
  constexpr int kHelpColumn = 37;
  QString text = QStringLiteral("usage: selvantrix-cli %1 COMMAND ...\ncommands:\n").arg(QString::fromLatin1(kGlobalOptions));
  for (const Command& command : kCommands) {
    text += QStringLiteral("  ");
    if (command.help) {
      text += QString::fromLatin1(command.usage).leftJustified(kHelpColumn - 1) + u' ' + QString::fromLatin1(command.help);
    } else {
      text += QString::fromLatin1(command.usage);
    }
    text += u'\n';
  }
  return text;
}

}  // namespace

int RunCli(const QStringList& args, QTextStream& out, QTextStream& err, bool handleSignals) {
  QString directory;
  QString port;
  QString pin;
  bool havePin = false;
  bool yes = false;
  bool verbose = false;
  QString logFile;
  int i = 0;
  auto usage = [&](const QString& problem) {
    err << "selvantrix-cli: " << problem << '\n' << UsageText() << Qt::flush;
    return 2;
  };
  for (; i < args.size() && args[i].startsWith(u'-'); ++i) {
    const QString& arg = args[i];
    if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
      out << UsageText() << Qt::flush;
      return 0;
    }
    if (arg == QLatin1String("--yes")) {
      yes = true;
    } else if (arg == QLatin1String("-v")) {
      verbose = true;
    } else if (arg == QLatin1String("--dir") || arg == QLatin1String("--port") || arg == QLatin1String("--pin") ||
               arg == QLatin1String("--log")) {
      if (i + 1 >= args.size()) return usage(arg + QStringLiteral(" needs a value"));
      const QString value = args[++i];
      if (arg == QLatin1String("--log")) logFile = value;
      if (arg == QLatin1String("--dir")) directory = value;
      if (arg == QLatin1String("--port")) port = value;
      if (arg == QLatin1String("--pin")) {
        pin = value;
        havePin = true;
      }
    } else {
      return usage(QStringLiteral("unknown option ") + arg);
    }
  }
  if (i >= args.size()) return usage(QStringLiteral("no command"));
  const Command* command = FindCommand(args[i]);
  if (!command) return usage(QStringLiteral("unknown command ") + args[i]);
  const QStringList rest = args.mid(i + 1);
  // Help needs neither the database nor the PIN.
  if (rest.contains(QLatin1String("--help")) || rest.contains(QLatin1String("-h"))) {
    out << "usage: selvantrix-cli " << kGlobalOptions << ' ' << command->usage << '\n';
    if (command->help) out << "  " << command->help << '\n';
    out << Qt::flush;
    return 0;
  }

  if (directory.isEmpty()) directory = DefaultApplicationDirectory();
  if (!QDir().mkpath(directory)) {
    err << "selvantrix-cli: cannot use the directory " << directory << Qt::endl;
    return 1;
  }
  Session session(directory);
  const QString failure = session.Create();
  if (!failure.isEmpty()) {
    err << session.FilePath(kDatabaseFileName) << '\n' << failure << Qt::endl;
    return 1;
  }
  session.ApplyStartOptions();
  session.PortOverride = port;
  Link link(session);
  TerminalUi ui(err, yes);
  // The device log goes to the terminal (-v), to a file (--log, as the
  // window's "ZAPISZ DO PLIKU" keeps it), or both.
  QFile log(logFile);
  if (!logFile.isEmpty() && !log.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
    err << "selvantrix-cli: cannot write the log " << logFile << ": " << log.errorString() << Qt::endl;
    return 1;
  }
  if (verbose || log.isOpen()) {
    link.onLog = [&err, &log, verbose](const QString& line) {
      if (verbose) err << line << Qt::endl;
      if (log.isOpen()) {
        log.write(line.toUtf8() + '\n');
        log.flush();
      }
    };
  }

  // Nothing is done without the PIN, checked as the window checks it.
  if (!havePin) pin = ReadPin(err);
  int status = 1;
  RunCommand(ui, [&] {
    if (!CheckAccess(session, ui, pin, session.Today())) return;
    InterruptAsCancel interrupt(session, handleSignals);
    try {
      Call call{*command, session, link, ui, out, rest};
      command->run(call);
      status = ui.messages > 0 ? 1 : 0;
    } catch (const Usage& bad) {
      status = usage(bad.problem);
      return;
    }
    if (interrupt.interrupted) {
      err << "Przerwano." << Qt::endl;
      status = 1;
    }
  });
  if (ui.messages > 0 && status == 0) status = 1;
  if (ui.declined && status == 0) {
    err << "selvantrix-cli: nothing done: the question was answered NIE; use --yes" << Qt::endl;
    status = 3;
  }
  return status;
}
