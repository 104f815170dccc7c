#include "controller/backup.h"

#include <QSet>

#include "common/polish_plural.h"
#include "common/slot_text.h"
#include "common/windows1250.h"
#include "controller/config_transfer.h"
#include "core/session.h"
#include "core/settings.h"
#include "core/store_errors.h"
#include "core/user_interface.h"
#include "phonelist/list_file.h"
#include "serial/link.h"
#include "serial/list_transfer.h"
#include "serial/reply_parser.h"
#include "serial/reply_store.h"
#include "store/cursor.h"

namespace {

constexpr const char* kHeader = "# Selvantrix backup";
// The last line counts what the file holds: a file cut short, by a full
// disk or a copy stopped halfway, would otherwise restore as a shorter
// phonebook and end the controller's list after it.
constexpr const char* kEndLine = "# end %1 numbers %2 settings";

QString EndLine(qsizetype numbers, qsizetype settings) {
  return QString::fromLatin1(kEndLine).arg(numbers).arg(settings);
}

// The settings a restore sends, in the configuration write's order, each
// with its line; the others a backup holds (the server's phone and address,
// slot 000) have no write line and are kept for the record only.
struct SentSetting {
  const char* key;
  ValueKind kind;
  QString (*line)(const QString& value);
};
const SentSetting kSentSettings[] = {
    {kKeyRelayTime, ValueKind::kSetting, [](const QString& value) { return RelayTimeLine(value.toInt()); }},
    {kKeyControllerPhone, ValueKind::kPhone,
     [](const QString& value) { return ServiceCodeLine(kControllerPhoneCode, value); }},
    {kKeyHostIp, ValueKind::kSetting, [](const QString& value) { return ServiceCodeLine(kHostIpCode, value); }},
    {kKeyHost, ValueKind::kSetting, [](const QString& value) { return ServiceCodeLine(kHostCode, value); }},
    {kKeyAdminPhone, ValueKind::kPhone, [](const QString& value) { return AdminPhoneLine(value); }},
};

const SentSetting* SentSettingOf(const QString& key) {
  for (const SentSetting& setting : kSentSettings) {
    if (key == QLatin1String(setting.key)) return &setting;
  }
  return nullptr;
}

// Whether `value` could go into its command line as a setting of `kind`.
bool Sendable(const QString& value, ValueKind kind) {
  LineTally scratch;
  QString forLine;
  return ValueForLine(scratch, value, kind, &forLine);
}
const char* const kRecordedSettings[] = {kKeyServerPhone, kKeyServerIp, kKeyOstiv};

// The relay codes the controller takes are 3..10, the positions 0..7.
constexpr int kLastRelayIndex = 7;

bool IsSentSetting(const QString& key) { return SentSettingOf(key) != nullptr; }

bool IsRecordedSetting(const QString& key) {
  for (const char* recorded : kRecordedSettings) {
    if (key == QLatin1String(recorded)) return true;
  }
  return false;
}

// Why one line of a backup cannot be taken, or empty when it can.
QString SlotLineProblem(const QString& line, int previousSlot, std::pair<int, QString>* entry) {
  const qsizetype bar = line.indexOf(u'|');
  const QString slotText = line.left(bar);
  const QString number = line.mid(bar + 1);
  bool digits = !slotText.isEmpty();
  for (QChar c : slotText) digits = digits && c >= u'0' && c <= u'9';
  const int slot = digits ? slotText.toInt() : 0;
  if (!digits || slot < kFirstListSlot || slot > kLastListReadSlot || SlotText(slot) != slotText) {
    return QString::fromUtf8("miejsce „%1” poza zakresem 002…%2").arg(slotText).arg(kLastListReadSlot);
  }
  if (slot <= previousSlot) return QString::fromUtf8("miejsce %1 nie po kolei").arg(slotText);
  if (!Sendable(number, ValueKind::kPhone)) {
    return QString::fromUtf8("niepoprawny numer telefonu „%1”").arg(number);
  }
  *entry = {slot, number};
  return QString();
}

QString SettingLineProblem(const QString& line, const ControllerBackup& backup, std::pair<QString, QString>* setting) {
  const qsizetype equals = line.indexOf(u'=');
  const QString key = line.left(equals);
  const QString value = line.mid(equals + 1);
  if (!IsSentSetting(key) && !IsRecordedSetting(key)) return QString::fromUtf8("nieznane ustawienie „%1”").arg(key);
  for (const auto& [known, unused] : backup.settings) {
    if (known == key) return QString::fromUtf8("ustawienie „%1” podane drugi raz").arg(key);
  }
  if (key == QLatin1String(kKeyRelayTime)) {
    bool ok = false;
    const int index = value.toInt(&ok);
    if (!ok || index < 0 || index > kLastRelayIndex || QString::number(index) != value) {
      return QString::fromUtf8("czas przekaźnika „%1” poza zakresem 0…%2").arg(value).arg(kLastRelayIndex);
    }
  } else if (const SentSetting* sent = SentSettingOf(key); sent && !value.isEmpty() && !Sendable(value, sent->kind)) {
    // Anything else could end its field in the command line and start another.
    return QString::fromUtf8("niepoprawna wartość „%1” ustawienia %2").arg(value, key);
  }
  *setting = {key, value};
  return QString();
}

}  // namespace

QByteArray BackupText(const ControllerBackup& backup, const QDateTime& made) {
  QString text = QString::fromLatin1(kHeader) +
                 QStringLiteral(" %1, Selvantrix %2\n")
                     .arg(made.toUTC().toString(Qt::ISODate), QString::fromLatin1(SELVANTRIX_VERSION));
  for (const auto& [slot, number] : backup.phonebook) text += SlotText(slot) + u'|' + number + u'\n';
  for (const auto& [key, value] : backup.settings) text += key + u'=' + value + u'\n';
  text += EndLine(backup.phonebook.size(), backup.settings.size()) + u'\n';
  return text.toUtf8();
}

bool ParseBackup(const QByteArray& bytes, ControllerBackup* backup, QString* problem) {
  const QString text = QString::fromUtf8(bytes);
  if (text.toUtf8() != bytes) {
    *problem = QString::fromUtf8("to nie jest tekst UTF-8");
    return false;
  }
  // An editor may have saved it with CR LF.
  QStringList lines = text.split(u'\n');
  for (QString& line : lines) {
    if (line.endsWith(u'\r')) line.chop(1);
  }
  if (lines.first() != QLatin1String(kHeader) && !lines.first().startsWith(QString::fromLatin1(kHeader) + u' ')) {
    *problem = QString::fromUtf8("brak nagłówka „%1”").arg(QString::fromLatin1(kHeader));
    return false;
  }
  qsizetype end = lines.size() - 1;
  while (end > 0 && lines[end].isEmpty()) --end;
  if (end == 0 || !lines[end].startsWith(QLatin1String("# end "))) {
    *problem = QString::fromUtf8("brak ostatniego wiersza „# end …”: plik jest ucięty albo zapisany starszą wersją "
                                 "programu; zrób nową kopię poleceniem backup");
    return false;
  }
  ControllerBackup read;
  for (int i = 1; i < end; ++i) {
    const QString& line = lines[i];
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    QString why;
    const qsizetype bar = line.indexOf(u'|');
    const qsizetype equals = line.indexOf(u'=');
    if (bar >= 0 && (equals < 0 || bar < equals)) {
      std::pair<int, QString> entry;
      why = SlotLineProblem(line, read.phonebook.isEmpty() ? 0 : read.phonebook.last().first, &entry);
      if (why.isEmpty()) read.phonebook.append(entry);
    } else if (equals >= 0) {
      std::pair<QString, QString> setting;
      why = SettingLineProblem(line, read, &setting);
      if (why.isEmpty()) read.settings.append(setting);
    } else {
      why = QString::fromUtf8("ani „miejsce|numer”, ani „klucz=wartość”");
    }
    if (!why.isEmpty()) {
      *problem = QString::fromUtf8("wiersz %1: %2").arg(i + 1).arg(why);
      return false;
    }
  }
  if (lines[end] != EndLine(read.phonebook.size(), read.settings.size())) {
    *problem = QString::fromUtf8("wiersz %1 „%2” nie zgadza się z treścią pliku (%3)")
                   .arg(end + 1)
                   .arg(lines[end], EndLine(read.phonebook.size(), read.settings.size()).mid(2));
    return false;
  }
  *backup = read;
  return true;
}

CommandResult ReadBackup(Link& link, Progress& progress, ControllerBackup* backup) {
  CommandResult result;
  QList<std::pair<int, QByteArray>> entries;
  const ScanResult scan = ReadPhonebook(link, progress, kLastListReadSlot, &entries);
  if (scan.stop != Stop::kNone) {
    result.Fail(scan.stop, scan.problem);
    return result;
  }
  ControllerBackup read;
  int previous = kFirstListSlot - 1;
  for (const auto& [slot, number] : entries) {
    // What goes into the file must be what a restore can send back: a
    // controller off by a slot or noise on the line gives a phonebook that
    // is no phonebook, which no file is made of.
    const QString text = FromWindows1250(number);
    const QString why = slot <= previous ? QString::fromUtf8("miejsce %1 po miejscu %2").arg(SlotText(slot), SlotText(previous))
                        : !Sendable(text, ValueKind::kPhone)
                            ? QString::fromUtf8("miejsce %1 zawiera „%2”, co nie jest numerem telefonu").arg(SlotText(slot), text)
                            : QString();
    if (!why.isEmpty()) {
      result.Fail(Stop::kBadInput, QString::fromUtf8("Kopii nie zapisano: ") + why + QStringLiteral("."));
      return result;
    }
    previous = slot;
    read.phonebook.append({slot, text});
  }
  // The settings as the configuration read's replies carry them, taken
  // here instead of the settings table.
  const QStringList lines = ConfigurationReadLines(link.options().adminMode);
  for (int i = 0; i < lines.size(); ++i) {
    if (result.lines.LineDead() || progress.Cancelled()) break;
    // The panel stays up, and "ANULUJ" with it, for the settings' lines too.
    progress.Update(i + 1, int(lines.size()));
    const Answer answer = link.Exchange(lines[i], Await::kReply);
    result.lines.Add(lines[i], answer.outcome);
    read.settings += SettingsOfReply(answer.replies);
  }
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  if (result.Succeeded()) *backup = read;
  return result;
}

BackupResult BackupController(Link& link, Progress& progress, const QString& path) {
  BackupResult result;
  result.path = path;
  PortSession port(link);
  if (!Opened(port, &result)) return result;
  ControllerBackup backup;
  static_cast<CommandResult&>(result) = ReadBackup(link, progress, &backup);
  if (!result.Succeeded()) return result;
  QString error;
  if (!WriteListFile(path, BackupText(backup, QDateTime::currentDateTimeUtc()), &error)) {
    result.Fail(Stop::kFileError, error);
    return result;
  }
  result.numbers = int(backup.phonebook.size());
  result.settings = int(backup.settings.size());
  return result;
}

RestoreResult RestoreController(Link& link, Progress& progress, const QString& path) {
  RestoreResult result;
  result.path = path;
  QByteArray bytes;
  QString error;
  if (!ReadListFile(path, &bytes, &error)) {
    result.Fail(Stop::kFileError, error);
    return result;
  }
  ControllerBackup backup;
  if (!ParseBackup(bytes, &backup, &error)) {
    result.Fail(Stop::kBadInput, error);
    return result;
  }
  result.numbersHeld = int(backup.phonebook.size());
  // A setting the controller held empty is nothing to send back.
  for (const auto& [key, value] : backup.settings) result.settingsHeld += IsSentSetting(key) && !value.isEmpty() ? 1 : 0;
  if (!progress.Ask(Question::kRestore, QString::fromUtf8(kRestoreQuestion))) {
    result.Fail(Stop::kDeclined);
    return result;
  }
  PortSession port(link);
  if (!Opened(port, &result)) return result;
  // Numbered from 002 as a write of the whole list numbers them: a hole
  // the backup was read past is closed, so no stale number is left
  // between the restored ones.
  QStringList numbers;
  for (const auto& entry : backup.phonebook) numbers << entry.second;
  TransferResult written;
  if (!numbers.isEmpty()) {
    SendNumbers(link, progress, numbers, WriteMode::kWholeList, &written);
  } else {
    // A controller backed up empty is restored empty.
    ExchangeCounted(link, written.lines, EndOfListLine(kFirstListSlot));
  }
  result.numbers = written.done;
  result.lines = written.lines;
  int step = 0;
  for (const SentSetting& sent : kSentSettings) {
    if (progress.Cancelled() || result.lines.LineDead()) break;
    for (const auto& [key, value] : backup.settings) {
      if (key != QLatin1String(sent.key) || value.isEmpty()) continue;
      progress.Update(++step, result.settingsHeld);
      QString forLine;
      if (ValueForLine(result.lines, value, sent.kind, &forLine) &&
          ExchangeCounted(link, result.lines, sent.line(forLine)) == LineOutcome::kConfirmed) {
        ++result.settings;
      }
    }
  }
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}

QString SyncQuestion(const SyncPlan& plan) {
  const QString added = CountOf(int(plan.add.size()), "numer", "numery", "numerów");
  const QString removed = CountOf(int(plan.remove.size()), "numer", "numery", "numerów");
  // A side with nothing to do is left unsaid: "dopisze 0 numerów" reads as a fault.
  if (plan.remove.isEmpty())
    return QString::fromUtf8("Synchronizacja dopisze do sterownika %1. Czy kontynuować?").arg(added);
  if (plan.add.isEmpty())
    return QString::fromUtf8("Synchronizacja usunie ze sterownika %1. Czy kontynuować?").arg(removed);
  return QString::fromUtf8("Synchronizacja dopisze do sterownika %1 i usunie z niego %2. Czy kontynuować?")
      .arg(added, removed);
}

SyncResult SyncList(Link& link, Progress& progress, bool dryRun, bool askFirst) {
  SyncResult result;
  result.dryRun = dryRun;
  Session& session = link.session();
  PortSession port(link, false);
  if (!Opened(port, &result)) return result;
  store::Cursor& list = session.Dbf1();
  RequireOk(list.Settle());
  port.RaiseDtr();
  QList<std::pair<int, QByteArray>> entries;
  const ScanResult scan = ReadPhonebook(link, progress, kLastListVerifySlot, &entries);
  if (scan.stop != Stop::kNone) {
    result.Fail(scan.stop, scan.problem);
    return result;
  }
  // Compared as the list keeps numbers; deleted as the controller holds them.
  QList<QByteArray> keys;
  for (const auto& [slot, number] : entries) keys.append(ListedNumber(number));
  QSet<QByteArray> held(keys.begin(), keys.end());
  QSet<QByteArray> listed;
  QList<QByteArray> toAdd;
  for (list.First(); !list.Eof(); list.Next()) {
    const QByteArray tel = QByteArray::fromStdString(list.Text("Tel"));
    if (tel.isEmpty() || listed.contains(tel)) continue;
    listed.insert(tel);
    if (!held.contains(tel)) toAdd.append(tel);
  }
  SyncPlan& plan = result.plan;
  QSet<QByteArray> removing;
  for (qsizetype i = 0; i < entries.size(); ++i) {
    if (listed.contains(keys[i]) || removing.contains(keys[i])) continue;
    removing.insert(keys[i]);
    plan.remove << FromWindows1250(entries[i].second);
  }
  for (const QByteArray& tel : toAdd) plan.add << FromWindows1250(tel);
  result.unchanged = int(listed.size() - toAdd.size());
  list.First();
  if (dryRun) return result;
  // Asked with the counts in hand: a stale or empty list would otherwise
  // empty the controller without a word.
  if (askFirst && !(plan.add.isEmpty() && plan.remove.isEmpty()) &&
      !progress.Ask(Question::kSync, SyncQuestion(plan))) {
    result.Fail(Stop::kDeclined);
    return result;
  }
  {
    ListUpdatesSuspended still(session, progress.ui());
    const int total = int(plan.add.size() + plan.remove.size());
    int step = 0;
    for (const QString& tel : plan.remove) {
      if (progress.Cancelled() || result.lines.LineDead()) break;
      progress.Update(++step, total);
      QString number;
      if (ValueForLine(result.lines, tel, ValueKind::kPhone, &number) &&
          ExchangeCounted(link, result.lines, DeleteLine(number)) == LineOutcome::kConfirmed) {
        ++result.removed;
      }
    }
    for (qsizetype i = 0; i < toAdd.size(); ++i) {
      if (progress.Cancelled() || result.lines.LineDead()) break;
      progress.Update(++step, total);
      QString number;
      if (!ValueForLine(result.lines, plan.add[i], ValueKind::kPhone, &number) ||
          ExchangeCounted(link, result.lines, AddLine(number)) != LineOutcome::kConfirmed) {
        continue;
      }
      held.insert(toAdd[i]);
      ++result.added;
    }
    // As a verify leaves them: a row is confirmed exactly when the
    // controller now holds its number, and only a changed flag is written.
    ConfirmExactly(link, progress, held);
  }
  list.First();
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}
