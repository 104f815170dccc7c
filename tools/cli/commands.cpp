#include "cli/commands.h"

#include <QFile>
#include <unistd.h>

#include "cli/terminal.h"
#include "common/windows1250.h"
#include "controller/backup.h"
#include "controller/event_log.h"
#include "controller/fleet.h"
#include "core/phone_number.h"
#include "core/session.h"
#include "core/user_interface.h"
#include "outcome/outcome_text.h"
#include "phonelist/list_commands.h"
#include "phonelist/list_file.h"
#include "phonelist/sheet_reader.h"
#include "serial/link.h"
#include "serial/list_transfer.h"
#include "store/collation.h"
#include "store/cursor.h"

namespace {

// What a verify, sync or backup leaves for the fleet view; a settings file
// that cannot take it is told, and the command's own outcome stands.
void NoteInSiteFacts(Call& c, const QString& problem) {
  if (!problem.isEmpty()) c.ui.Say(problem);
}

QString Text(const std::string& bytes) { return FromWindows1250(QByteArray::fromStdString(bytes)); }

std::string Bytes(const QString& text) { return ToWindows1250(text).toStdString(); }

// The numbers a command names: every row in list order (--all), or the
// given ones, each by the boxes' rule. False (nothing done) when a given
// number is refused; every refused one is named first. No floor: a short
// number may be on the list.
bool TakeNumbers(Call& c, bool* all, QStringList* numbers) {
  if (c.args.isEmpty()) throw Usage{QStringLiteral("give --all or the numbers")};
  *all = c.args == QStringList{QStringLiteral("--all")};
  store::Cursor& list = c.session.Dbf1();
  if (*all) {
    RequireOk(list.Settle());
    for (list.First(); !list.Eof(); list.Next()) *numbers << Text(list.Text("Tel"));
    list.First();
    return true;
  }
  for (const QString& tel : c.args) {
    if (tel.startsWith(u'-')) throw Usage{QStringLiteral("unknown option ") + tel};
  }
  bool taken = true;
  for (const QString& tel : c.args) {
    QString number;
    if (TakeNumber(c.ui, tel, 0, kListPhoneLength, &number)) {
      *numbers << number;
    } else {
      taken = false;
    }
  }
  return taken;
}

void PrintRow(QTextStream& out, store::Cursor& list) {
  out << list.Text("ID").c_str() << '\t' << Text(list.Text("Imie")) << '\t' << Text(list.Text("Nazwisko")) << '\t'
      << Text(list.Text("Tel")) << '\t' << list.Text("ST").c_str() << '\n';
}

int PrintList(Call& c) {
  static const QMap<QString, const char*> indexes = {{QStringLiteral("name"), kImieIndex},
                                                     {QStringLiteral("surname"), kNazwiskoIndex},
                                                     {QStringLiteral("tel"), kTelIndex}};
  const Options o = TakeOptions(c.args, {QStringLiteral("--order")}, {});
  Expect(o, 0, "list takes no numbers");
  const QString order = o.Value("--order");
  store::Cursor& list = c.session.Dbf1();
  if (!order.isEmpty()) {
    if (!indexes.contains(order)) throw Usage{QStringLiteral("--order is name, surname or tel")};
    RequireOk(list.SetOrder(indexes.value(order)));
  }
  for (list.First(); !list.Eof(); list.Next()) PrintRow(c.out, list);
  c.out.flush();
  return 0;
}

// A row matches when one of its three texts begins with the search text as
// the store's own prefix find weighs it (case aside, in the user's order).
int PrintFound(Call& c) {
  const Options o = TakeOptions(c.args, {}, {});
  Expect(o, 1, c.command.usage);
  const QString& text = o.positional[0];
  const store::Collation& collation = c.session.collation();
  const std::string prefix = Bytes(text);
  store::Cursor& list = c.session.Dbf1();
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
    PrintRow(c.out, list);
  }
  list.First();
  c.out.flush();
  if (found > 0) return 0;
  c.ui.Say(QString::fromUtf8("Nie znaleziono: ") + text);
  return 1;
}

int AddPhone(Call& c) {
  const Options o = TakeOptions(c.args, {}, {});
  Expect(o, 3, c.command.usage);
  QString tel;
  if (!TakeNumber(c.ui, o.positional[2], kMinPhoneLength, kListPhoneLength, &tel)) return 1;
  store::Cursor& list = c.session.Dbf1();
  RequireOk(list.Append());
  WriteListField(c.session, "Imie", o.positional[0]);
  WriteListField(c.session, "Nazwisko", o.positional[1]);
  QString refusal;
  const ManageResult result = SaveRow(c.session, c.ui, tel, kMinPhoneLength, nullptr, &refusal);
  if (result == ManageResult::kSaved) return 0;
  list.Cancel();
  switch (result) {
    case ManageResult::kDuplicate:
      c.ui.Say(QString::fromUtf8("Numer jest już na liście: ") + tel);
      return 1;
    case ManageResult::kDeclined: return c.ui.Tell(Report{Verdict::kDeclined, QString(), QString()});
    default: return 1;  // the rule's refusal is told
  }
}

int RemoveLocal(Call& c) {
  const Options o = TakeOptions(c.args, {}, {});
  if (o.positional.isEmpty()) throw Usage{QString::fromLatin1(c.command.usage)};
  bool all = false;
  QStringList numbers;
  if (!TakeNumbers(c, &all, &numbers)) return 1;
  return c.ui.Tell(Describe(DeleteFromList(c.session, c.progress, numbers)));
}

// What --separator, --encoding and --columns set instead of what the file
// says of itself; a word not understood is bad usage.
ImportOptions TakeImportOptions(const Options& o) {
  ImportOptions options;
  options.strict = o.Has("--strict");
  if (o.Has("--separator")) {
    const QString word = o.Value("--separator").toLower();
    const QChar separator = word == u"tab" ? QChar(u'\t') : (word.size() == 1 ? word[0] : QChar());
    if (!QStringLiteral(";,\t|").contains(separator) || separator.isNull()) {
      throw Usage{QStringLiteral("--separator takes ; , tab or |")};
    }
    options.sheet.separator = separator;
  }
  if (o.Has("--encoding")) {
    const QString word = o.Value("--encoding").toLower().remove(u'-');
    const std::pair<const char*, ListFileEncoding> known[] = {{"windows1250", ListFileEncoding::kWindows1250},
                                                               {"cp1250", ListFileEncoding::kWindows1250},
                                                               {"utf8", ListFileEncoding::kUtf8},
                                                               {"utf16le", ListFileEncoding::kUtf16LE},
                                                               {"utf16be", ListFileEncoding::kUtf16BE}};
    for (const auto& [name, encoding] : known) {
      if (word == QLatin1String(name)) options.sheet.encoding = encoding;
    }
    if (!options.sheet.encoding) throw Usage{QStringLiteral("--encoding takes windows-1250, utf-8, utf-16le or utf-16be")};
  }
  if (o.Has("--columns")) {
    ColumnMap columns;
    QString error;
    if (!ParseColumns(o.Value("--columns"), &columns, &error)) throw Usage{QStringLiteral("--columns: ") + error};
    options.columns = columns;
  }
  return options;
}

// A cell of the preview on one line of its own.
QString PreviewCell(const QString& text) {
  QString out = text;
  for (QChar& ch : out) {
    if (ch == u'\t' || ch == u'\n' || ch == u'\r') ch = u' ';
  }
  return out;
}

int PrintPreview(Call& c, const ImportPreview& preview, const QString& name) {
  if (!preview.error.isEmpty()) {
    c.ui.Say(QString::fromUtf8("Nie można zaimportować pliku \"%1\": %2").arg(name, preview.error));
    return 1;
  }
  for (const PreviewLine& line : preview.lines) {
    c.out << line.line << u'\t' << VerdictCode(line.verdict) << u'\t' << PreviewCell(line.reason) << u'\t'
          << PreviewCell(line.firstName) << u'\t' << PreviewCell(line.surname) << u'\t' << PreviewCell(line.phone)
          << u'\n';
  }
  c.out.flush();
  c.ui.Say(QString::fromUtf8("Podgląd (nic nie zmieniono): %1; plik %2%3, %4")
               .arg(VerdictSummary(preview.counts), SheetFormatName(preview.sheet.format),
                    preview.sheet.format == SheetFormat::kCsv
                        ? QString::fromUtf8(", separator %1").arg(SeparatorName(preview.sheet.separator))
                        : QString(),
                    preview.sheet.IsText() ? EncodingName(preview.sheet.encoding) : QString::fromUtf8("pierwszy arkusz")));
  return 0;
}

int Import(Call& c) {
  const Options o = TakeOptions(c.args, {QStringLiteral("--columns"), QStringLiteral("--separator"), QStringLiteral("--encoding")},
                                {QStringLiteral("--replace"), QStringLiteral("--strict"), QStringLiteral("--preview")});
  Expect(o, 1, c.command.usage);
  c.ui.answers.insert(Question::kClearBeforeImport, o.Has("--replace"));
  // Skipped lines are told with the count, no failure, unless a script
  // wants the file whole or not at all.
  const ImportOptions options = TakeImportOptions(o);
  const QString& path = o.positional[0];
  QByteArray bytes;
  if (path != QLatin1String("-")) {
    QString error;
    if (!ReadListFile(path, &bytes, &error)) {
      c.ui.Say(error);
      return 1;
    }
  } else {
    QFile in;
    if (in.open(STDIN_FILENO, QIODevice::ReadOnly)) bytes = in.readAll();
    if (!in.isOpen() || in.error() != QFileDevice::NoError) {
      c.ui.Say(QString::fromUtf8("Nie można odczytać standardowego wejścia: ") + in.errorString());
      return 1;
    }
  }
  if (o.Has("--preview")) return PrintPreview(c, PreviewListFile(c.session, bytes, path, options, o.Has("--replace")), path);
  return c.ui.Tell(Describe(ImportListBytes(c.session, c.progress, bytes, path, options)));
}

int Export(Call& c) {
  const Options o = TakeOptions(c.args, {}, {});
  Expect(o, 1, c.command.usage);
  const QString& path = o.positional[0];
  if (path != QLatin1String("-")) return c.ui.Tell(Describe(ExportList(c.session, c.progress, path)));
  QByteArray bytes;
  if (!ListFileBytes(c.session, c.progress, &bytes)) return 1;
  // The list file's own bytes, not text for the terminal's encoding.
  c.out.flush();
  QFile out;
  if (!out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered) || out.write(bytes) != bytes.size()) {
    c.ui.Say(QString::fromUtf8("Nie można zapisać na standardowe wyjście: ") + out.errorString());
    return 1;
  }
  return 0;
}

// --all writes the whole list from slot 002; given numbers are added, and
// each must be on the list: a write sends the list, nothing else.
int Write(Call& c) {
  bool all = false;
  QStringList numbers;
  if (!TakeNumbers(c, &all, &numbers)) return 1;
  if (!all) {
    bool missing = false;
    for (const QString& tel : numbers) {
      bool found = false;
      RequireOk(c.session.Dbf1().Find("Tel", {Bytes(tel)}, {}, &found));
      if (found) continue;
      c.ui.Say(QString::fromUtf8("Numer %1 nie jest na liście").arg(tel));
      missing = true;
    }
    if (missing) return 1;
  }
  return c.ui.Tell(Describe(WriteNumbers(c.link, c.progress, numbers, all ? WriteMode::kWholeList : WriteMode::kAdd)));
}

int Delete(Call& c) {
  bool all = false;
  QStringList numbers;
  if (!TakeNumbers(c, &all, &numbers)) return 1;
  return c.ui.Tell(Describe(DeleteNumbers(c.link, c.progress, numbers)));
}

// Numbers past an empty slot are only warned of unless asked for: --yes
// alone does not read on, since what lies there may be stale.
void ReadPastHoles(Call& c, const Options& o) { c.ui.answers.insert(Question::kReadPastHole, o.Has("--past-holes")); }

int Read(Call& c) {
  const Options o = TakeOptions(c.args, {}, {QStringLiteral("--replace"), QStringLiteral("--past-holes")});
  Expect(o, 0, c.command.usage);
  c.ui.answers.insert(Question::kClearBeforeRead, o.Has("--replace"));
  ReadPastHoles(c, o);
  return c.ui.Tell(Describe(ReadList(c.link, c.progress)));
}

int Verify(Call& c) {
  const Options o = TakeOptions(c.args, {}, {QStringLiteral("--past-holes")});
  Expect(o, 0, c.command.usage);
  ReadPastHoles(c, o);
  const VerifyResult result = VerifyList(c.link, c.progress);
  const Report report = Describe(result);
  NoteInSiteFacts(c, NoteVerify(c.session.Directory(), result, report.text));
  return c.ui.Tell(report);
}

int Format(Call& c) {
  if (!c.args.isEmpty()) throw Usage{QString::fromLatin1(c.command.name) + QStringLiteral(" takes nothing more")};
  return c.ui.Tell(Describe(FormatMemory(c.link, c.progress)));
}

int Events(Call& c) {
  const Options o = TakeOptions(c.args, {}, {});
  Expect(o, 1, c.command.usage);
  const EventsResult result = FetchEvents(c.link, c.progress, o.positional[0]);
  store::Cursor& reports = c.session.Dbf3();
  for (reports.First(); !reports.Eof(); reports.Next()) {
    c.out << Text(reports.Text("Tel")) << '\t' << Text(reports.Text("Data")) << '\n';
  }
  c.out.flush();
  return c.ui.Tell(Describe(result));
}

int Backup(Call& c) {
  const Options o = TakeOptions(c.args, {}, {QStringLiteral("--past-holes")});
  Expect(o, 1, c.command.usage);
  ReadPastHoles(c, o);
  const BackupResult result = BackupController(c.link, c.progress, o.positional[0]);
  NoteInSiteFacts(c, NoteBackup(c.session.Directory(), result));
  return c.ui.Tell(Describe(result));
}

int Restore(Call& c) {
  const Options o = TakeOptions(c.args, {}, {QStringLiteral("--yes")});
  Expect(o, 1, c.command.usage);
  if (o.Has("--yes")) c.ui.answers.insert(Question::kRestore, true);
  return c.ui.Tell(Describe(RestoreController(c.link, c.progress, o.positional[0])));
}

int Sync(Call& c) {
  const Options o = TakeOptions(c.args, {}, {QStringLiteral("--dry-run"), QStringLiteral("--past-holes")});
  Expect(o, 0, c.command.usage);
  ReadPastHoles(c, o);
  const SyncResult result = SyncList(c.link, c.progress, o.Has("--dry-run"));
  if (result.dryRun && result.stop == Stop::kNone) {
    for (const QString& tel : result.plan.add) c.out << "+ " << tel << '\n';
    for (const QString& tel : result.plan.remove) c.out << "- " << tel << '\n';
    c.out.flush();
  }
  const Report report = Describe(result);
  NoteInSiteFacts(c, NoteSync(c.session.Directory(), result, report.text));
  return c.ui.Tell(report);
}

// The commands in the order of the usage text. Parsing stays in each
// handler: the commands differ in how their words are read (the raw numbers
// of write and delete, the sub-command before the options of config).
constexpr Command kCommands[] = {
    {"list", "list [--order name|surname|tel]", "the phone list: ID, first name, surname, phone, ST", PrintList},
    {"add", "add FIRST SURNAME TEL", "add a phone to the list", AddPhone},
    {"remove-local", "remove-local TEL...", "delete phones from the list only", RemoveLocal},
    {"import", "import FILE|- [--replace] [--strict] [--preview] [--columns LIST] [--separator S] [--encoding E]",
     nullptr,
     Import},
    {"export", "export FILE|-", "write the list to a file: .csv and .xlsx as spreadsheets, else a list file (- is standard output)", Export},
    {"write", "write [--all | TEL...]",
     "write the whole list into the controller, or add the given numbers of the list", Write},
    {"delete", "delete [--all | TEL...]", "delete the numbers from the controller and the list", Delete},
    {"read", "read [--replace] [--past-holes]",
     "read the controller's phonebook into the list (--past-holes: read on past an empty slot)", Read},
    {"verify", "verify [--past-holes]", "confirm the list against the controller", Verify},
    {"format", "format", "clear the controller's phone memory", Format},
    {"find", "find TEXT", "the rows whose first name, surname or phone begins with TEXT", PrintFound},
    {"config", "config show | read | write | save [--admin TEL] [--controller TEL] [--relay 0..6] [--sim YYYY-MM-DD]",
     nullptr, RunConfig},
    {"remind", "remind YYYY-MM-DD", "send the SIM validity reminder", RunRemind},
    {"events", "events N", "fetch the last N events and print the event log", Events},
    {"backup", "backup FILE [--past-holes]", "save the controller's phonebook and settings into a backup file", Backup},
    {"restore", "restore FILE [--yes]", "write a backup file's phonebook and settings into the controller", Restore},
    {"sync", "sync [--dry-run] [--past-holes]",
     "make the controller hold exactly the list (--dry-run: print the plan, send nothing)", Sync},
    {"port", "port list | set COMn|DEVICE", "the serial ports present; choose the controller's port", RunPort},
    {"pin", "pin set [--new-pin PIN]", "change the PIN (asked twice without echo when not given)", RunPin},
    {"site", "site list | add | rename | remove [NAME [NEW]] [--notes TEXT] [--from SITE] [--yes]",
     "the fleet view; add NAME, rename NAME NEW, remove NAME (asked) a site", RunSite},
};

}  // namespace

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

bool TakeNumber(TerminalUi& ui, const QString& typed, int minLength, int maxLength, QString* number) {
  QString normalised;
  if (NormalisePhoneNumber(typed, maxLength, &normalised) && normalised.size() >= minLength) {
    *number = normalised;
    return true;
  }
  ui.Say(QString::fromUtf8(kBadPhoneMessage) + QStringLiteral(": ") + typed);
  return false;
}

const Command* FindCommand(const QString& name) {
  for (const Command& command : kCommands) {
    if (name == QLatin1String(command.name)) return &command;
  }
  return nullptr;
}

bool ChangesSomething(const Command& command, const QStringList& args) {
  const QString name = QString::fromLatin1(command.name);
  const QString first = args.value(0);
  if (name == QLatin1String("list") || name == QLatin1String("export") || name == QLatin1String("find")) return false;
  if (name == QLatin1String("import")) return !args.contains(QLatin1String("--preview"));
  if (name == QLatin1String("config")) return first != QLatin1String("show");
  if (name == QLatin1String("port")) return first != QLatin1String("list");
  if (name == QLatin1String("site")) return false;
  return true;
}

// The descriptions line up in one column; config's usage line is too long
// to leave room for one.
QString UsageText() {
  constexpr int kHelpColumn = 37;
  QString text =
      QStringLiteral("usage: selvantrix-cli %1 COMMAND ...\ncommands:\n").arg(QString::fromLatin1(kGlobalOptions));
  for (const Command& command : kCommands) {
    text += QStringLiteral("  ");
    if (command.help) {
      text +=
          QString::fromLatin1(command.usage).leftJustified(kHelpColumn - 1) + u' ' + QString::fromLatin1(command.help);
    } else {
      text += QString::fromLatin1(command.usage);
    }
    text += u'\n';
  }
  // Unindented, so that nothing reading the command lines takes it for one.
  text += QStringLiteral(
      "The PIN: --pin PIN is seen by every user in ps; --pin-file FILE (its first line) or the\n"
      "SELVANTRIX_PIN environment variable is not; without them it is asked for. Each wrong PIN\n"
      "in a row makes the next try wait longer (1 s, 2 s, 4 s ... 30 s).\n"
      "import reads a list file, a CSV, an XLSX or an ODS (its first sheet); - is standard input.\n"
      "--replace clears the list first; --strict takes every line or nothing; --preview prints each\n"
      "line's verdict (line, code, reason, first name, surname, phone) and changes nothing;\n"
      "--columns imie,nazwisko,telefon names the file's columns in order (- for one passed over);\n"
      "--separator ; , tab | and --encoding windows-1250, utf-8, utf-16le, utf-16be override what\n"
      "is detected. export writes .csv and .xlsx as spreadsheets, any other name as a list file.\n");
  return text;
}
