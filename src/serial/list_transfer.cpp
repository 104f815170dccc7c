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
  PortSession port(link);
  if (!Opened(port, &result)) return result;
  SendNumbers(link, progress, given, mode, &result);
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}

void SendNumbers(Link& link, Progress& progress, const QStringList& given, WriteMode mode, TransferResult* out) {
  TransferResult& result = *out;
  result.kind = mode == WriteMode::kWholeList ? TransferResult::Kind::kWholeList : TransferResult::Kind::kAdd;
  result.asked = int(given.size());
  int slot = kFirstListSlot;
  qsizetype next = 0;
  for (; next < given.size(); ++next) {
    // A dead line is not asked again for every number left.
    if (progress.Cancelled() || result.lines.LineDead()) break;
    progress.Update(int(next) + 1, int(given.size()));
    const QString& tel = given[next];
    const bool whole = mode == WriteMode::kWholeList;
    const LineOutcome outcome =
        ExchangeChecked(link, result.lines, whole ? SlotWriteLine(slot, tel) : AddLine(tel), {tel});
    // A number that never left uses no slot.
    if (whole && outcome != LineOutcome::kNotSent) result.lastSlot = slot++;
    if (outcome == LineOutcome::kConfirmed) {
      ++result.done;
    } else {
      result.notDone << tel;
    }
    progress.ProcessEvents();
  }
  for (; next < given.size(); ++next) result.notDone << given[next];
  if (!result.lines.LineDead()) {
    if (mode == WriteMode::kWholeList && result.lastSlot > 0) {
      // Right after the last slot written, also after a cancel: a read stops
      // there, and nothing behind it is taken for the list.
      const int end = result.lastSlot + 1;
      if (ExchangeChecked(link, result.lines, EndOfListLine(end), {}) == LineOutcome::kConfirmed) {
        result.endMarkSlot = end;
      }
    } else if (mode == WriteMode::kAdd && result.done > 0) {
      // Where the list ends, unless the controller keeps a number there: an
      // added number may have just been placed in that very slot.
      const int end = link.session().Dbf1().RowCount() + kFirstListSlot;
      const Answer held = link.Exchange(ReadSlotLine(end), Await::kEntry);
      result.lines.Add(ReadSlotLine(end), held.outcome);
      const Reply* entry = held.Entry();
      if (held.outcome == LineOutcome::kConfirmed && entry && entry->emptySlot &&
          ExchangeChecked(link, result.lines, EndOfListLine(end), {}) == LineOutcome::kConfirmed) {
        result.endMarkSlot = end;
      }
    }
  }
}

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
      if (ExchangeChecked(link, result.lines, DeleteLine(tel), {tel}) != LineOutcome::kConfirmed) {
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

void ConfirmExactly(Link& link, Progress& progress, const QSet<QByteArray>& held) {
  store::Cursor& list = link.session().Dbf1();
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
    progress.ProcessEvents();
  }
}

ScanResult ScanSlots(Link& link, Progress& progress, int last, int progressTotal,
                     const std::function<void(int slot, const Reply& entry)>& onEntry) {
  ScanResult result;
  for (int slot = kFirstListSlot; slot <= last; ++slot) {
    if (progress.Cancelled()) {
      result.Fail(Stop::kCancelled);
      break;
    }
    progress.Update(slot, progressTotal);
    const QString line = ReadSlotLine(slot);
    const Answer answer = link.Exchange(line, Await::kEntry);
    const Reply* entry = answer.Entry();
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
    if (!entry) continue;
    ++result.entries;
    if (onEntry) onEntry(slot, *entry);
  }
  return result;
}

ReadResult ReadList(Link& link, Progress& progress) {
  ReadResult result;
  Session& session = link.session();
  PortSession port(link, false);
  if (!Opened(port, &result)) return result;
  store::Cursor& list = session.Dbf1();
  if (progress.Ask(Question::kClearBeforeRead, QString::fromUtf8(kReadClearQuestion))) {
    result.cleared = true;
    RequireOk(list.Settle());
    list.First();
    const int total = list.RowCount();
    for (int k = 1; !list.Eof() && !progress.Cancelled(); ++k) {
      progress.Update(k, total);
      RequireOk(list.Delete());
      progress.ProcessEvents();
    }
    // A cancel of the clearing stops the clearing only; the read follows.
    progress.Resume();
  }
  port.RaiseDtr();
  ReplyStore store(session);
  static_cast<ScanResult&>(result) =
      ScanSlots(link, progress, kLastListReadSlot, kReadProgressTotal, [&](int slot, const Reply& entry) {
        try {
          store.StoreEntry(slot, entry.number);
        } catch (const std::exception& e) {
          // One bad entry costs that entry only.
          link.Trace(QString::fromUtf8(e.what()));
        }
      });
  session.UnsavedChanges = false;
  return result;
}

ScanResult ReadPhonebook(Link& link, Progress& progress, int lastSlot, QList<std::pair<int, QByteArray>>* entries) {
  return ScanSlots(link, progress, lastSlot, lastSlot, [&](int slot, const Reply& entry) {
    entries->append({slot, entry.number});
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
    // Each row ends confirmed exactly when a slot read now holds its number,
    // but a row is written only where that changes its flag: every write
    // appends a row image to the file, and unconfirming every row first to
    // confirm most of them again cost two images a row at each verify.
    QSet<QByteArray> confirmed;
    ReplyStore store(session);
    port.RaiseDtr();
    static_cast<ScanResult&>(result) =
        ScanSlots(link, progress, kLastListVerifySlot, kLastListVerifySlot, [&](int slot, const Reply& entry) {
          try {
            const QByteArray number = store.StoreEntry(slot, entry.number);
            if (!number.isEmpty()) confirmed.insert(number);
          } catch (const std::exception& e) {
            link.Trace(QString::fromUtf8(e.what()));
          }
        });
    // Also after a cancel or a silent controller: what was not confirmed
    // now is unconfirmed, as a verify has always left it.
    ConfirmExactly(link, progress, confirmed);
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
    const QString line = EndOfListLine(slot) + u';';
    result.lines.Add(line, link.Exchange(line, Await::kReply).outcome);
  }
  EndByTally(result, progress.Cancelled());
  LogFailures(link, result.lines);
  return result;
}
