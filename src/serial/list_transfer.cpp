#include "serial/list_transfer.h"

#include <QSet>

#include "common/polish_plural.h"
#include "common/slot_text.h"
#include "common/windows1250.h"
#include "core/session.h"
#include "core/store_errors.h"
#include "core/user_interface.h"
#include "serial/link.h"
#include "serial/reply_store.h"
#include "store/cursor.h"

namespace {

constexpr int kReadProgressTotal = 1000;
// What the controller answers for a slot nothing was ever written to.
constexpr const char* kNeverWrittenNumber = "4294967295";

// Looks at up to `gap` slots past the empty `slot` (not beyond `last`) for
// numbers an earlier delete left behind a hole. A slot the controller never
// wrote ends the look at once: nothing lies past it.
QList<int> SlotsPastHole(Link& link, int slot, int gap, int last) {
  QList<int> holding;
  for (int next = slot + 1; next <= qMin(slot + gap, last); ++next) {
    const Answer answer = link.Exchange(ReadSlotLine(next), Await::kEntry);
    const Reply* entry = answer.Entry();
    if (answer.outcome != LineOutcome::kConfirmed || !entry || entry->number == kNeverWrittenNumber) break;
    if (!entry->emptySlot) holding.append(next);
  }
  return holding;
}

// After the phonebook ended at the empty `slot`: says what lies past it and
// asks whether to read on. The next slot to read, or 0 to stop (with what
// was seen past the hole in `result`).
int ReadPastHole(Link& link, Progress& progress, int slot, int last, const QByteArray& emptyNumber,
                 ScanResult* result) {
  const int gap = link.options().readGap;
  // A slot never written has nothing written past it either.
  if (gap <= 0 || slot >= last || emptyNumber == kNeverWrittenNumber) return 0;
  const QList<int> holding = SlotsPastHole(link, slot, gap, last);
  if (holding.isEmpty()) return 0;
  QStringList names;
  for (int s : holding) names.append(SlotText(s));
  link.Log(QString::fromUtf8("Numery za pustym miejscem %1: %2").arg(SlotText(slot), names.join(QStringLiteral(", "))));
  const QString seen = QString::fromUtf8("Za pustym miejscem %1 sterownik ma jeszcze %2")
                           .arg(SlotText(slot), CountOf(int(holding.size()), "numer", "numery", "numerów"));
  if (progress.Ask(Question::kReadPastHole, seen + QStringLiteral(". ") + QString::fromUtf8(kReadOnQuestion))) {
    return holding.first();
  }
  result->holeSlot = slot;
  result->pastHole = int(holding.size());
  return 0;
}

// The numbers that are numbers at all: a blank mark uses no slot.
QStringList NonBlank(const QStringList& numbers) {
  QStringList given;
  for (const QString& tel : numbers) {
    if (!tel.trimmed().isEmpty()) given << tel;
  }
  return given;
}

}  // namespace

QString SlotWriteLine(int slot, const QString& tel) {
  return QStringLiteral("AT+CPBW=%1,\"%2\",145,\"%2\"").arg(SlotText(slot), tel);
}

QString AddLine(const QString& tel) { return QStringLiteral("AT+CPBM=1015,%1,%1").arg(tel); }

QString DeleteLine(const QString& tel) { return QStringLiteral("AT+CPBM=1016,%1,%1").arg(tel); }

QString EndOfListLine(int slot) {
  return QStringLiteral("AT+CPBW=%1,\"999999999\",145,\"999999999\"").arg(SlotText(slot));
}

QString ReadSlotLine(int slot) { return QStringLiteral("AT+CPBR=") + SlotText(slot); }

TransferResult WriteNumbers(Link& link, Progress& progress, const QStringList& numbers, WriteMode mode) {
  TransferResult result;
  const QStringList given = NonBlank(numbers);
  if (given.isEmpty()) {
    result.Fail(Stop::kBadInput, QString::fromUtf8(kNoMarksMessage));
    return result;
  }
  // Refused before the first line: a list cut at the controller's last slot
  // would leave the user to find out which numbers did not get in.
  if (given.size() > kPhoneSlots) {
    const int over = int(given.size()) - kPhoneSlots;
    result.Fail(Stop::kBadInput, QString::fromUtf8("Lista ma %1, a sterownik mieści %2 (miejsca 002–2000): %3 się "
                                                   "nie %4. Nic nie wysłano.")
                                     .arg(CountOf(int(given.size()), "numer", "numery", "numerów"))
                                     .arg(kPhoneSlots)
                                     .arg(CountOf(over, "numer", "numery", "numerów"))
                                     .arg(PolishPlural(over, "zmieści", "zmieszczą", "zmieści")));
    return result;
  }
  PortSession port(link);
  if (!Opened(port, &result)) return result;
  SendNumbers(link, progress, given, mode, &result);
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}

namespace {

void SendLines(Link& link, Progress& progress, const QStringList& given, WriteMode mode, TransferResult* out) {
  TransferResult& result = *out;
  const bool whole = mode == WriteMode::kWholeList;
  result.kind = whole ? TransferResult::Kind::kWholeList : TransferResult::Kind::kAdd;
  result.asked = int(given.size());
  // A slot is used only by a number the controller confirmed in it: the
  // next number goes where a refused or unanswered one did not get in, so
  // the slots from 002 hold exactly the numbers written, one after another.
  int slot = kFirstListSlot;
  qsizetype next = 0;
  for (; next < given.size(); ++next) {
    // A dead line is not asked again for every number left.
    if (progress.Cancelled() || result.lines.LineDead()) break;
    progress.Update(int(next) + 1, int(given.size()));
    const QString& tel = given[next];
    QString number;
    if (!ValueForLine(result.lines, tel, ValueKind::kPhone, &number)) {
      result.notDone << tel;
      continue;
    }
    if (ExchangeCounted(link, result.lines, whole ? SlotWriteLine(slot, number) : AddLine(number)) ==
        LineOutcome::kConfirmed) {
      ++result.done;
      if (whole) result.lastSlot = slot++;
    } else {
      result.notDone << tel;
    }
    progress.ProcessEvents();
  }
  for (; next < given.size(); ++next) result.notDone << given[next];
  // Nothing is to be closed off behind a line gone for good.
  if (result.lines.PortLost() || result.done == 0) return;
  if (whole) {
    // Right after the last number written, also after a cancel or a refused
    // line: a read stops there, and no older number behind it stays on the
    // list the controller keeps.
    if (ExchangeCounted(link, result.lines, EndOfListLine(slot)) == LineOutcome::kConfirmed) result.endMarkSlot = slot;
    return;
  }
  // Where the list ends, unless the controller keeps a number there: an
  // added number may have just been placed in that very slot.
  const int end = link.session().Dbf1().RowCount() + kFirstListSlot;
  if (end > kLastListReadSlot || result.lines.LineDead()) return;
  const Answer held = link.Exchange(ReadSlotLine(end), Await::kEntry);
  const Reply* entry = held.Entry();
  const bool answered = held.outcome == LineOutcome::kConfirmed && entry && entry->slot == end;
  result.lines.Add(ReadSlotLine(end), answered ? LineOutcome::kConfirmed : held.outcome);
  if (answered && entry->emptySlot &&
      ExchangeCounted(link, result.lines, EndOfListLine(end)) == LineOutcome::kConfirmed) {
    result.endMarkSlot = end;
  }
}

}  // namespace


TransferResult DeleteNumbers(Link& link, Progress& progress, const QStringList& numbers) {
  TransferResult result;
  result.kind = TransferResult::Kind::kDelete;
  const QStringList given = NonBlank(numbers);
  result.asked = int(given.size());
  if (given.isEmpty()) {
    result.Fail(Stop::kBadInput, QString::fromUtf8(kNoMarksMessage));
    return result;
  }
  PortSession port(link);
  if (!Opened(port, &result)) return result;
  Session& session = link.session();
  store::Cursor& list = session.Dbf1();
  {
    ListUpdatesSuspended still(session, progress.ui());
    qsizetype next = 0;
    for (; next < given.size(); ++next) {
      if (progress.Cancelled() || result.lines.LineDead()) break;
      progress.Update(int(next) + 1, int(given.size()));
      const QString& tel = given[next];
      QString number;
      if (!ValueForLine(result.lines, tel, ValueKind::kPhone, &number) ||
          ExchangeCounted(link, result.lines, DeleteLine(number)) != LineOutcome::kConfirmed) {
        result.notDone << tel;
        continue;
      }
      ++result.done;
      // Only what the controller confirmed leaves the list: the rest is
      // still needed to try again.
      try {
        bool found = false;
        RequireOk(list.Find("Tel", {ToWindows1250(tel).toStdString()}, {}, &found));
        if (found) RequireOk(list.Delete());
      } catch (const std::exception& e) {
        link.Trace(QString::fromUtf8(e.what()));
      }
      progress.ProcessEvents();
    }
    for (; next < given.size(); ++next) result.notDone << given[next];
  }
  RequireOk(list.Refresh());
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}

namespace {

// Sets ST of every row to what `markOf` gives for its number (-1: as it is).
void MarkRows(Link& link, Progress& progress, const std::function<int(const QByteArray&)>& markOf) {
  store::Cursor& list = link.session().Dbf1();
  // Marks the program keeps are no edit of the user's to save on closing.
  const bool unsaved = link.session().UnsavedChanges;
  for (list.First(); !list.Eof(); list.Next()) {
    const int mark = markOf(QByteArray::fromStdString(list.Text("Tel")));
    if (mark < 0 || list.Int("ST") == mark) continue;
    try {
      RequireOk(list.Edit());
      RequireOk(list.SetInt("ST", mark));
      PostRow(list);
    } catch (const std::exception& e) {
      link.Trace(QString::fromUtf8(e.what()));
    }
    progress.ProcessEvents();
  }
  list.First();
  link.session().UnsavedChanges = unsaved;
}

// Marks the rows of `held` confirmed and leaves the others as they are: what
// an added number the controller took tells.
void ConfirmHeld(Link& link, Progress& progress, const QSet<QByteArray>& held) {
  MarkRows(link, progress, [&](const QByteArray& tel) { return held.contains(tel) ? 1 : -1; });
}

}  // namespace

void ConfirmExactly(Link& link, Progress& progress, const QSet<QByteArray>& held) {
  MarkRows(link, progress, [&](const QByteArray& tel) { return held.contains(tel) ? 1 : 0; });
}

void SendNumbers(Link& link, Progress& progress, const QStringList& given, WriteMode mode, TransferResult* result) {
  SendLines(link, progress, given, mode, result);
  // The colours follow what the controller confirmed. A whole list written
  // is all a read finds there, and a line that went out unconfirmed may
  // have written over a slot all the same; added numbers change only their
  // own rows.
  const bool whole = mode == WriteMode::kWholeList;
  if (whole ? result->lines.sent() == 0 : result->lines.confirmed() == 0) return;
  ListUpdatesSuspended still(link.session(), progress.ui());
  QSet<QByteArray> held;
  for (const QString& tel : given) {
    if (!result->notDone.contains(tel)) held.insert(tel.toLatin1());
  }
  if (whole) {
    ConfirmExactly(link, progress, held);
  } else {
    ConfirmHeld(link, progress, held);
  }
}


ScanResult ScanSlots(Link& link, Progress& progress, int last, int progressTotal,
                     const std::function<void(int slot, const Reply& entry)>& onEntry) {
  ScanResult result;
  int tries = 0;
  for (int slot = kFirstListSlot; slot <= last; ++slot) {
    if (progress.Cancelled()) {
      result.Fail(Stop::kCancelled);
      break;
    }
    progress.Update(slot, progressTotal);
    const QString line = ReadSlotLine(slot);
    const Answer answer = link.Exchange(line, Await::kEntry);
    // An entry of another slot answers another question (a late reply, a
    // controller off by one): it is no entry of this slot.
    const Reply* entry = answer.Entry();
    if (entry && entry->slot != slot) entry = nullptr;
    if (entry && entry->emptySlot) {
      const int next = ReadPastHole(link, progress, slot, last, entry->number, &result);
      if (next == 0) break;
      slot = next - 1;
      continue;
    }
    // A slot the controller refuses to show is no entry: reading on would
    // count every refusal as a slot read.
    if (answer.outcome == LineOutcome::kPortLost) {
      result.Fail(Stop::kPortLost);
      break;
    }
    if (answer.outcome == LineOutcome::kRefused) {
      result.Fail(Stop::kRefused, line);
      break;
    }
    if (!answer.Heard()) {
      result.Fail(Stop::kSilent);
      break;
    }
    if (!entry) {
      // Something came, but no entry of this slot ("OK" alone, a prompt, an
      // entry of another slot): the slot is asked again, three times at most.
      if (++tries >= LineTally::kDeadAfter) {
        result.Fail(Stop::kSilent);
        break;
      }
      --slot;
      continue;
    }
    tries = 0;
    ++result.entries;
    result.lastSlot = slot;
    if (onEntry) onEntry(slot, *entry);
  }
  return result;
}

namespace {

// The rows a read keeps of what it read: each entry stored as the list
// keeps it (a setting's slot as its setting). One bad entry costs that
// entry only.
void StoreEntries(Link& link, const QList<std::pair<int, QByteArray>>& entries, QSet<QByteArray>* listed) {
  ReplyStore store(link.session());
  for (const auto& [slot, number] : entries) {
    try {
      const QByteArray stored = store.StoreEntry(slot, number);
      if (listed && !stored.isEmpty()) listed->insert(stored);
    } catch (const std::exception& e) {
      link.Trace(QString::fromUtf8(e.what()));
    }
  }
}

}  // namespace

ReadResult ReadList(Link& link, Progress& progress) {
  ReadResult result;
  Session& session = link.session();
  PortSession port(link, false);
  if (!Opened(port, &result)) return result;
  result.cleared = progress.Ask(Question::kClearBeforeRead, QString::fromUtf8(kReadClearQuestion));
  port.RaiseDtr();
  QList<std::pair<int, QByteArray>> entries;
  static_cast<ScanResult&>(result) = ScanSlots(link, progress, kLastListReadSlot, kReadProgressTotal,
                                               [&](int slot, const Reply& entry) { entries.append({slot, entry.number}); });
  // A list to be replaced is replaced only by a whole read: until then the
  // old rows stay, so a silent or pulled controller leaves the list as it was.
  if (result.cleared && result.stop != Stop::kNone) return result;
  store::Cursor& list = session.Dbf1();
  {
    ListUpdatesSuspended still(session, progress.ui());
    RequireOk(list.Settle());
    if (result.cleared) {
      // The rows of numbers the controller no longer holds go; those it
      // holds keep their names.
      QSet<QByteArray> held;
      for (const auto& [slot, number] : entries) held.insert(ListedNumber(number));
      for (list.First(); !list.Eof();) {
        if (held.contains(QByteArray::fromStdString(list.Text("Tel")))) {
          list.Next();
        } else {
          RequireOk(list.Delete());
        }
        progress.ProcessEvents();
      }
    }
    StoreEntries(link, entries, nullptr);
  }
  list.First();
  result.stored = true;
  session.UnsavedChanges = false;
  return result;
}

ScanResult ReadPhonebook(Link& link, Progress& progress, int lastSlot, QList<std::pair<int, QByteArray>>* entries) {
  // The slots of the controller's own settings among them hold no phone of
  // the list: a sync must not delete them, nor a restore move them to 002.
  return ScanSlots(link, progress, lastSlot, lastSlot, [&](int slot, const Reply& entry) {
    if (!SettingOfSlot(slot)) entries->append({slot, entry.number});
  });
}

VerifyResult VerifyList(Link& link, Progress& progress) {
  VerifyResult result;
  Session& session = link.session();
  PortSession port(link, false);
  if (!Opened(port, &result)) return result;
  store::Cursor& list = session.Dbf1();
  const int rowsBefore = list.RowCount();
  {
    ListUpdatesSuspended still(session, progress.ui());
    RequireOk(list.Settle());
    port.RaiseDtr();
    QList<std::pair<int, QByteArray>> entries;
    static_cast<ScanResult&>(result) = ScanSlots(link, progress, kLastListVerifySlot, kLastListVerifySlot,
                                                 [&](int slot, const Reply& entry) { entries.append({slot, entry.number}); });
    // Each row the controller answered for ends confirmed; every other one
    // unconfirmed, but only when the whole phonebook was read: a verify that
    // stopped knows nothing of the slots it did not reach.
    QSet<QByteArray> confirmed;
    StoreEntries(link, entries, &confirmed);
    if (result.stop == Stop::kNone) ConfirmExactly(link, progress, confirmed);
  }
  int held = 0;
  for (list.First(); !list.Eof(); list.Next()) held += list.Int("ST") == 1 ? 1 : 0;
  result.added = list.RowCount() - rowsBefore;
  result.confirmed = held - result.added;
  result.missing = list.RowCount() - held;
  list.First();
  return result;
}

FormatResult FormatMemory(Link& link, Progress& progress) {
  FormatResult result;
  if (!progress.Ask(Question::kFormat, QString::fromUtf8(kFormatQuestion))) {
    result.Fail(Stop::kDeclined);
    return result;
  }
  PortSession port(link);
  if (!Opened(port, &result)) return result;
  for (int slot = kFirstListSlot; slot <= kLastListReadSlot && !result.lines.LineDead(); ++slot) {
    if (progress.Cancelled()) break;
    progress.Update(slot, kLastListReadSlot);
    ExchangeCounted(link, result.lines, EndOfListLine(slot) + u';');
  }
  // Once a slot may be cleared no row is known to be held any more: a read
  // stops at the first end mark, and what lies past it is no longer sure. A
  // line that went out unanswered may have cleared its slot all the same.
  if (result.lines.sent() > 0) {
    ListUpdatesSuspended still(link.session(), progress.ui());
    ConfirmExactly(link, progress, {});
  }
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}
