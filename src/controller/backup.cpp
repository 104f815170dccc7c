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
#include "phonelist/list_commands.h"
#include "phonelist/list_file.h"
#include "serial/command_tally.h"
#include "serial/link.h"
#include "serial/list_transfer.h"
#include "serial/reply_parser.h"
#include "serial/reply_store.h"
#include "store/cursor.h"

namespace {

constexpr int kFirstSlot = 2;
constexpr const char* kHeader = "# Selvantrix backup";

// The settings a restore sends, in the configuration write's order, each
// with its line; the others a backup holds (the server's phone and address,
// slot 000) have no write line and are kept for the record only.
struct SentSetting {
  const char* key;
  QString (*line)(const QString& value);
};
const SentSetting kSentSettings[] = {
    {kKeyRelayTime, [](const QString& value) { return RelayTimeLine(value.toInt()); }},
    {kKeyControllerPhone, [](const QString& value) { return ServiceCodeLine(kControllerPhoneCode, value); }},
    {kKeyHostIp, [](const QString& value) { return ServiceCodeLine(kHostIpCode, value); }},
    {kKeyHost, [](const QString& value) { return ServiceCodeLine(kHostCode, value); }},
    {kKeyAdminPhone, [](const QString& value) { return AdminPhoneLine(value); }},
};
const char* const kRecordedSettings[] = {kKeyServerPhone, kKeyServerIp, kKeyOstiv};

// The relay codes the controller takes are 3..10, the positions 0..7.
constexpr int kLastRelayIndex = 7;

// Hands every reply line to `take` for as long as it lives.
class ReplyWatch {
 public:
  ReplyWatch(Link& link, std::function<void(const Reply&)> take) : link_(link) { link_.onReply = std::move(take); }
  ~ReplyWatch() { link_.onReply = nullptr; }
  ReplyWatch(const ReplyWatch&) = delete;
  ReplyWatch& operator=(const ReplyWatch&) = delete;

 private:
  Link& link_;
};

bool IsSentSetting(const QString& key) {
  for (const SentSetting& setting : kSentSettings) {
    if (key == QLatin1String(setting.key)) return true;
  }
  return false;
}

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
  if (!digits || slot < kFirstSlot || slot > kLastListReadSlot || SlotText(slot) != slotText) {
    return QString::fromUtf8("miejsce „%1” poza zakresem 002…%2").arg(slotText).arg(kLastListReadSlot);
  }
  if (slot <= previousSlot) return QString::fromUtf8("miejsce %1 nie po kolei").arg(slotText);
  if (number.isEmpty() || !SafeForCommandLine(number)) {
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
  } else if (IsSentSetting(key) && !SafeForCommandLine(value)) {
    // Anything else could end its field in the command line and start another.
    return QString::fromUtf8("niepoprawna wartość „%1” ustawienia %2").arg(value, key);
  }
  *setting = {key, value};
  return QString();
}

}  // namespace

QByteArray BackupText(const ControllerBackup& backup, const QDateTime& made) {
  QString text = QString::fromLatin1(kHeader) + QStringLiteral(" %1, Selvantrix %2\n")
                                                    .arg(made.toUTC().toString(Qt::ISODate),
                                                         QString::fromLatin1(SELVANTRIX_VERSION));
  for (const auto& [slot, number] : backup.phonebook) text += SlotText(slot) + u'|' + number + u'\n';
  for (const auto& [key, value] : backup.settings) text += key + u'=' + value + u'\n';
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
  ControllerBackup read;
  for (int i = 1; i < lines.size(); ++i) {
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
  *backup = read;
  return true;
}

bool ReadBackup(Link& link, UserInterface& ui, ControllerBackup* backup) {
  Session& session = link.session();
  PortSession port(link, ui);
  if (!port.ok()) return false;
  StoringOff storingOff(link);
  QList<std::pair<int, QByteArray>> entries;
  if (!ReadPhonebook(link, ui, kLastListReadSlot, &entries)) return false;
  ControllerBackup read;
  for (const auto& [slot, number] : entries) read.phonebook.append({slot, FromWindows1250(number)});
  CommandTally tally;
  {
    // The panel stays up, and "ANULUJ" with it, for the settings' lines too.
    ProgressScope progress(session, ui);
    // The settings as the configuration read's replies carry them, taken
    // here instead of the settings table.
    ReplyWatch watch(link, [&read](const Reply& reply) {
      if (reply.kind == ReplyKind::kSystem) {
        read.settings.append({QString::fromLatin1(kKeyRelayTime), QString::fromLatin1(RelayChoice(reply.relayCode))});
      } else if (reply.kind == ReplyKind::kEntry && !reply.emptySlot) {
        if (const char* key = SettingOfSlot(reply.slot)) {
          read.settings.append({QString::fromLatin1(key), FromWindows1250(SettingValue(reply.slot, reply.number))});
        }
      }
    });
    const QStringList lines = ConfigurationReadLines(session.AdminMode);
    for (int i = 0; i < lines.size(); ++i) {
      if (tally.LineDead() || progress.CancelRequested()) break;
      progress.Update(i + 1, int(lines.size()));
      ExchangeChecked(link, tally, lines[i], {});
    }
  }
  if (session.CancelRequested) return false;
  if (!tally.AllConfirmed()) return ReportTally(link, ui, tally, QString());
  *backup = read;
  return true;
}

bool BackupController(Link& link, UserInterface& ui, const QString& path) {
  ControllerBackup backup;
  if (!ReadBackup(link, ui, &backup)) {
    if (link.session().CancelRequested) ui.ShowOutcome(QString::fromUtf8("Przerwano: kopii sterownika nie zapisano"));
    return false;
  }
  QString error;
  if (!WriteListFile(path, BackupText(backup, QDateTime::currentDateTimeUtc()), &error)) {
    ui.ShowDialog(error, kNotice);
    return false;
  }
  ui.ShowOutcome(QString::fromUtf8("Zapisano kopię sterownika w pliku \"%1\": %2, %3")
                     .arg(path, CountOf(int(backup.phonebook.size()), "numer", "numery", "numerów"),
                          CountOf(int(backup.settings.size()), "ustawienie", "ustawienia", "ustawień")));
  return true;
}

bool RestoreController(Link& link, UserInterface& ui, const QString& path) {
  Session& session = link.session();
  QByteArray bytes;
  QString error;
  if (!ReadListFile(path, &bytes, &error)) {
    ui.ShowDialog(error, kNotice);
    return false;
  }
  ControllerBackup backup;
  if (!ParseBackup(bytes, &backup, &error)) {
    ui.ShowDialog(QString::fromUtf8("Plik \"%1\" nie jest kopią sterownika (%2). Nic nie wysłano.").arg(path, error),
                  kNotice);
    return false;
  }
  if (ui.ShowDialog(QString::fromUtf8(kRestoreQuestion), kQuestion) != 1) return false;
  PortSession port(link, ui);
  if (!port.ok()) return false;
  CommandTally tally;
  int numbers = 0;
  int settings = 0;
  int settingsHeld = 0;
  for (const auto& [key, value] : backup.settings) settingsHeld += IsSentSetting(key) ? 1 : 0;
  {
    ProgressScope progress(session, ui);
    const int total = int(backup.phonebook.size()) + 1;
    // Numbered from 002 as a write of the whole list numbers them: a hole
    // the backup was read past is closed, so no stale number is left
    // between the restored ones.
    int slot = kFirstSlot;
    for (const auto& entry : backup.phonebook) {
      if (progress.CancelRequested() || tally.LineDead()) break;
      progress.Update(slot - 1, total);
      if (SendListEntry(link, SlotText(slot), entry.second, false, false, tally) == Outcome::kConfirmed) ++numbers;
      ++slot;
    }
    // The end of the list goes after the last number, also after a cancel.
    if (!tally.LineDead()) SendListEntry(link, SlotText(slot), QString(), false, false, tally);
    for (const SentSetting& sent : kSentSettings) {
      if (progress.CancelRequested() || tally.LineDead()) break;
      for (const auto& [key, value] : backup.settings) {
        if (key != QLatin1String(sent.key)) continue;
        if (ExchangeChecked(link, tally, sent.line(value), {value}) == Outcome::kConfirmed) ++settings;
      }
    }
  }
  const QString numbersWritten = CountOf(numbers, "numer", "numery", "numerów");
  if (session.CancelRequested) {
    // Part of a backup is no restored controller: never told as done.
    ReportTally(link, ui, tally,
                QString::fromUtf8("Przerwano odtwarzanie kopii: zapisano w sterowniku %1 z %2, ustawienia: %3 z %4")
                    .arg(numbersWritten)
                    .arg(backup.phonebook.size())
                    .arg(settings)
                    .arg(settingsHeld));
    return false;
  }
  return ReportTally(link, ui, tally,
                     QString::fromUtf8("Odtworzono w sterowniku %1 i %2")
                         .arg(numbersWritten, CountOf(settings, "ustawienie", "ustawienia", "ustawień")));
}

QString SyncQuestion(const SyncPlan& plan) {
  const QString added = CountOf(int(plan.add.size()), "numer", "numery", "numerów");
  const QString removed = CountOf(int(plan.remove.size()), "numer", "numery", "numerów");
  // A side with nothing to do is left unsaid: "dopisze 0 numerów" reads as a fault.
  if (plan.remove.isEmpty()) return QString::fromUtf8("Synchronizacja dopisze do sterownika %1. Czy kontynuować?").arg(added);
  if (plan.add.isEmpty()) return QString::fromUtf8("Synchronizacja usunie ze sterownika %1. Czy kontynuować?").arg(removed);
  return QString::fromUtf8("Synchronizacja dopisze do sterownika %1 i usunie z niego %2. Czy kontynuować?").arg(added, removed);
}

bool SyncList(Link& link, UserInterface& ui, bool dryRun, SyncPlan* plan, bool askFirst) {
  *plan = SyncPlan();
  Session& session = link.session();
  PortSession port(link, ui, false);
  if (!port.ok()) return false;
  store::Cursor& list = session.Dbf1();
  RequireOk(list.Settle());
  port.RaiseDtr();
  QList<std::pair<int, QByteArray>> entries;
  {
    StoringOff storingOff(link);
    if (!ReadPhonebook(link, ui, kLastListVerifySlot, &entries)) {
      if (session.CancelRequested) ui.ShowOutcome(QString::fromUtf8("Przerwano synchronizację: nic nie wysłano"));
      return false;
    }
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
  QSet<QByteArray> removing;
  for (qsizetype i = 0; i < entries.size(); ++i) {
    if (listed.contains(keys[i]) || removing.contains(keys[i])) continue;
    removing.insert(keys[i]);
    plan->remove << FromWindows1250(entries[i].second);
  }
  for (const QByteArray& tel : toAdd) plan->add << FromWindows1250(tel);
  const int unchanged = int(listed.size() - toAdd.size());
  if (dryRun) {
    ui.ShowOutcome(QString::fromUtf8("Plan synchronizacji: do dopisania %1, do usunięcia %2, bez zmian %3")
                       .arg(toAdd.size())
                       .arg(plan->remove.size())
                       .arg(unchanged));
    list.First();
    return true;
  }
  // Asked with the counts in hand: a stale or empty list would otherwise
  // empty the controller without a word.
  if (askFirst && !(toAdd.isEmpty() && plan->remove.isEmpty()) && ui.ShowDialog(SyncQuestion(*plan), kQuestion) != 1) {
    list.First();
    return false;
  }
  CommandTally tally;
  int added = 0;
  int removed = 0;
  {
    ListUpdatesSuspended still(session, ui);
    BulkUpdateScope bulk(session);
    ProgressScope progress(session, ui);
    const int total = int(toAdd.size() + plan->remove.size());
    int step = 0;
    for (const QString& tel : plan->remove) {
      if (progress.CancelRequested() || tally.LineDead()) break;
      progress.Update(++step, total);
      if (SendListEntry(link, QString(), tel, false, true, tally) == Outcome::kConfirmed) ++removed;
    }
    for (qsizetype i = 0; i < toAdd.size(); ++i) {
      if (progress.CancelRequested() || tally.LineDead()) break;
      progress.Update(++step, total);
      if (SendListEntry(link, QString(), plan->add[i], true, false, tally) != Outcome::kConfirmed) continue;
      held.insert(toAdd[i]);
      ++added;
    }
    // As a verify leaves them: a row is confirmed exactly when the
    // controller now holds its number, and only a changed flag is written.
    for (list.First(); !list.Eof(); list.Next()) {
      const int mark = held.contains(QByteArray::fromStdString(list.Text("Tel"))) ? 1 : 0;
      if (list.Int("ST") == mark) continue;
      try {
        RequireOk(list.Edit());
        RequireOk(list.SetInt("ST", mark));
        PostRow(list);
      } catch (const std::exception& e) {
        link.Trace(QString::fromUtf8(e.what()));
      }
      ui.ProcessEvents();
    }
  }
  list.First();
  if (session.CancelRequested) {
    ReportTally(link, ui, tally,
                QString::fromUtf8("Przerwano synchronizację: dopisano do sterownika %1 z %2, usunięto ze sterownika "
                                  "%3 z %4")
                    .arg(added)
                    .arg(toAdd.size())
                    .arg(removed)
                    .arg(plan->remove.size()));
    return false;
  }
  return ReportTally(link, ui, tally,
                     QString::fromUtf8("Synchronizacja zakończona: dopisano do sterownika %1, usunięto ze sterownika "
                                       "%2, bez zmian %3")
                         .arg(added)
                         .arg(removed)
                         .arg(unchanged));
}
