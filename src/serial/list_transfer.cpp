#include "serial/list_transfer.h"

#include <functional>

#include "core/session.h"
#include "core/user_interface.h"
#include "common/slot_text.h"
#include "common/windows1250.h"
#include "phonelist/list_commands.h"
#include "common/polish_plural.h"
#include "serial/command_tally.h"
#include "serial/link.h"
#include "store/cursor.h"

namespace {

constexpr int kFirstSlot = 2;
constexpr int kReadProgressTotal = 1000;
// What the controller answers for a slot nothing was ever written to.
constexpr const char* kNeverWrittenNumber = "4294967295";

QString EndOfListLine(const QString& slot) {
  return QStringLiteral("AT+CPBW=%1,\"999999999\",145,\"999999999\"").arg(slot);
}


enum class SlotAnswer { kEntry, kEnd, kSilent };

// Asks one slot and waits. Silent when the controller did not answer (then
// the user has been told).
SlotAnswer AskSlot(Link& link, UserInterface& ui, int slot, bool waitForEntry) {
  const Outcome outcome =
      link.Exchange(QStringLiteral("AT+CPBR=") + SlotText(slot), waitForEntry ? Await::kEntry : Await::kReply);
  if (link.state().EntryEmpty) return SlotAnswer::kEnd;
  if (outcome == Outcome::kPortLost || outcome == Outcome::kRefused || !link.state().ReplySeen) {
    ui.HideProgress();
    // A slot the controller refuses to show is no entry: reading on would
    // count every refusal as a slot read.
    const QString text = outcome == Outcome::kPortLost ? QString::fromUtf8(kPortLostMessage)
                         : outcome == Outcome::kRefused ? QString::fromUtf8(kRefusedMessage).arg(link.state().LastCommand)
                                                        : QString::fromUtf8(kCommunicationError);
    ui.ShowDialog(text, kNotice);
    return SlotAnswer::kSilent;
  }
  return SlotAnswer::kEntry;
}

// Looks at up to `gap` slots past the empty `slot` (not beyond `last`) for
// numbers an earlier delete left behind a hole, storing nothing. A slot the
// controller never wrote ends the look at once: nothing lies past it.
QList<int> SlotsPastHole(Link& link, int slot, int gap, int last) {
  QList<int> holding;
  // A read that stores nothing (a backup, a sync) must not come back storing.
  StoringOff storingOff(link);
  for (int next = slot + 1; next <= qMin(slot + gap, last); ++next) {
    if (link.Exchange(QStringLiteral("AT+CPBR=") + SlotText(next), Await::kEntry) != Outcome::kConfirmed) break;
    if (link.state().EntryNumber == kNeverWrittenNumber) break;
    if (!link.state().EntryEmpty) holding.append(next);
  }
  return holding;
}

// After the phonebook ended at the empty `slot`: says what lies past it and
// asks whether to read on. The next slot to read, or 0 to stop.
int ReadPastHole(Link& link, UserInterface& ui, int slot, int last) {
  const int gap = link.session().ReadGap;
  // A slot never written has nothing written past it either.
  if (gap <= 0 || slot >= last || link.state().EntryNumber == kNeverWrittenNumber) return 0;
  const QList<int> holding = SlotsPastHole(link, slot, gap, last);
  if (holding.isEmpty()) return 0;
  QStringList names;
  for (int s : holding) names.append(SlotText(s));
  link.Log(QString::fromUtf8("Numery za pustym miejscem %1: %2").arg(SlotText(slot), names.join(QStringLiteral(", "))));
  ui.HideProgress();
  ui.ShowOutcome(QString::fromUtf8("Za pustym miejscem %1 sterownik ma jeszcze %2")
                     .arg(SlotText(slot), CountOf(int(holding.size()), "numer", "numery", "numerów")));
  if (ui.ShowDialog(QString::fromUtf8(kReadOnQuestion), kQuestion) != 1) return 0;
  ui.ShowProgress();
  return holding.first();
}

// Reads the slots from the first to `last` in turn (reading on past an empty
// one where the user asks to) until an empty slot ends the phonebook, the
// controller fails or the user cancels; `onEntry` gets each slot that holds
// an entry. The last answer: kSilent when the controller failed (the user
// has been told).
SlotAnswer ScanSlots(Link& link, UserInterface& ui, ProgressScope& progress, int last, int progressTotal,
                     bool waitForEntry, const std::function<void(int)>& onEntry) {
  SlotAnswer answer = SlotAnswer::kEnd;
  for (int slot = kFirstSlot; slot <= last && !link.session().CancelRequested; ++slot) {
    progress.Update(slot, progressTotal);
    answer = AskSlot(link, ui, slot, waitForEntry);
    if (answer == SlotAnswer::kEnd) {
      const int next = ReadPastHole(link, ui, slot, last);
      if (next == 0) break;
      slot = next - 1;
      continue;
    }
    if (answer != SlotAnswer::kEntry) break;
    if (onEntry) onEntry(slot);
  }
  return answer;
}

// Collects the numbers the phonebook entries confirm for as long as it lives.
class ConfirmedCollection {
 public:
  ConfirmedCollection(Link& link, QSet<QByteArray>* into) : link_(link) { link_.CollectConfirmed(into); }
  ~ConfirmedCollection() { link_.CollectConfirmed(nullptr); }
  ConfirmedCollection(const ConfirmedCollection&) = delete;
  ConfirmedCollection& operator=(const ConfirmedCollection&) = delete;

 private:
  Link& link_;
};

// How the list compares with the controller after a verify.
QString VerifyResult(store::Cursor& list, int rowsBefore) {
  int confirmed = 0;
  for (list.First(); !list.Eof(); list.Next()) confirmed += list.Int("ST") == 1 ? 1 : 0;
  const int added = list.RowCount() - rowsBefore;
  const int missing = list.RowCount() - confirmed;
  return QString::fromUtf8("Weryfikacja zakończona: potwierdzone w sterowniku %1, brak w sterowniku %2, "
                           "tylko w sterowniku %3 (dopisane do listy)")
      .arg(confirmed - added)
      .arg(missing)
      .arg(added);
}

}  // namespace

Outcome SendListEntry(Link& link, const QString& slot, const QString& tel, bool partial, bool remove,
                      CommandTally& tally) {
  QString line;
  if (tel.isEmpty()) {
    line = EndOfListLine(slot);
  } else if (remove) {
    line = QStringLiteral("AT+CPBM=1016,%1,%1").arg(tel);
  } else if (partial) {
    line = QStringLiteral("AT+CPBM=1015,%1,%1").arg(tel);
  } else {
    line = QStringLiteral("AT+CPBW=%1,\"%2\",145,\"%2\"").arg(slot, tel);
  }
  return ExchangeChecked(link, tally, line, {tel});
}

void TransferMarked(Link& link, UserInterface& ui, TransferMode mode) {
  Session& session = link.session();
  if (session.memcheck.Count() == 0) {
    ui.ShowDialog(QString::fromUtf8(kNoMarksMessage), kNotice);
    return;
  }
  PortSession port(link, ui);
  if (!port.ok()) return;
  store::Cursor& list = session.Dbf1();
  CommandTally tally;
  int numbersDone = 0;
  {
    ProgressScope progress(session, ui);
    // Decided once: a write of every row numbers the slots, a write of some
    // rows lets the controller place them.
    const bool partial = list.RowCount() != session.memcheck.Count();
    const auto step = [&](const std::string& number, int position) {
      const QString tel = FromWindows1250(QByteArray::fromStdString(number));
      if (tel.trimmed().isEmpty()) return false;
      // A dead line is not asked again for every number left.
      if (tally.LineDead()) return true;
      try {
        const QString slot = SlotText(position + 1);
        const Outcome outcome = SendListEntry(link, slot, tel, partial, mode == TransferMode::kDelete, tally);
        if (outcome != Outcome::kConfirmed) return true;
        ++numbersDone;
        // Only what the controller confirmed leaves the list: the rest is
        // still needed to try again.
        if (mode == TransferMode::kDelete) {
          bool found = false;
          RequireOk(list.Find("Tel", {number}, {}, &found));
          if (found) RequireOk(list.Delete());
        }
      } catch (const std::exception& e) {
        link.Trace(QString::fromUtf8(e.what()));
      }
      return true;
    };
    ForEachMarked(session, ui, progress, step, [&] {
      // The end of the list goes after the last row, also after a cancel.
      if (mode == TransferMode::kWrite && !tally.LineDead()) {
        SendListEntry(link, SlotText(list.RowCount() + 2), QString(), false, false, tally);
      }
      session.memcheck.Empty();
    });
    RequireOk(list.Refresh());
  }
  const QString numbers = CountOf(numbersDone, "numer", "numery", "numerów");
  ReportTally(link, ui, tally,
              mode == TransferMode::kWrite ? QString::fromUtf8("Zapisano w sterowniku ") + numbers
                                           : QString::fromUtf8("Usunięto ze sterownika ") + numbers);
}

void ReadList(Link& link, UserInterface& ui) {
  Session& session = link.session();
  PortSession port(link, ui, false);
  if (!port.ok()) return;
  store::Cursor& list = session.Dbf1();
  if (ui.ShowDialog(QString::fromUtf8(kReadClearQuestion), kQuestion) == 1) {
    ProgressScope progress(session, ui);
    RequireOk(list.Settle());
    list.First();
    const int total = list.RowCount();
    for (int k = 1; !list.Eof() && !session.CancelRequested; ++k) {
      progress.Update(k, total);
      RequireOk(list.Delete());
      ui.ProcessEvents();
    }
  }
  port.RaiseDtr();
  int entries = 0;
  SlotAnswer answer = SlotAnswer::kEnd;
  {
    ProgressScope progress(session, ui);
    answer = ScanSlots(link, ui, progress, kLastListReadSlot, kReadProgressTotal, true, [&](int) { ++entries; });
  }
  session.UnsavedChanges = false;
  if (answer != SlotAnswer::kSilent) {
    ui.ShowOutcome(QString::fromUtf8("Odczytano ze sterownika ") + CountOf(entries, "wpis", "wpisy", "wpisów"));
  }
}

bool ReadPhonebook(Link& link, UserInterface& ui, int lastSlot, QList<std::pair<int, QByteArray>>* entries) {
  Session& session = link.session();
  ProgressScope progress(session, ui);
  const SlotAnswer answer = ScanSlots(link, ui, progress, lastSlot, lastSlot, true,
                                      [&](int slot) { entries->append({slot, link.state().EntryNumber}); });
  return answer != SlotAnswer::kSilent && !session.CancelRequested;
}

void VerifyList(Link& link, UserInterface& ui) {
  Session& session = link.session();
  PortSession port(link, ui, false);
  if (!port.ok()) return;
  store::Cursor& list = session.Dbf1();
  const int rowsBefore = list.RowCount();
  SlotAnswer answer = SlotAnswer::kEnd;
  {
    ListUpdatesSuspended still(session, ui);
    BulkUpdateScope bulk(session);
    ProgressScope progress(session, ui);
    RequireOk(list.Settle());
    // Each row ends confirmed exactly when a slot read now holds its number,
    // but a row is written only where that changes its flag: every write
    // appends a row image to the file, and unconfirming every row first to
    // confirm most of them again cost two images a row at each verify.
    QSet<QByteArray> confirmed;
    {
      ConfirmedCollection collecting(link, &confirmed);
      port.RaiseDtr();
      ui.ShowProgress();
      answer = ScanSlots(link, ui, progress, kLastListVerifySlot, kLastListVerifySlot, false, nullptr);
    }
    // Also after a cancel or a silent controller: what was not confirmed
    // now is unconfirmed, as a verify has always left it.
    for (list.First(); !list.Eof(); list.Next()) {
      if (list.Int("ST") == 0 || confirmed.contains(QByteArray::fromStdString(list.Text("Tel")))) continue;
      try {
        RequireOk(list.Edit());
        RequireOk(list.SetInt("ST", 0));
        PostRow(list);
      } catch (const std::exception& e) {
        link.Trace(QString::fromUtf8(e.what()));
      }
      ui.ProcessEvents();
    }
  }
  if (answer != SlotAnswer::kSilent) ui.ShowOutcome(VerifyResult(list, rowsBefore));
  list.First();
}

void FormatMemory(Link& link, UserInterface& ui) {
  Session& session = link.session();
  if (ui.ShowDialog(QString::fromUtf8(kFormatQuestion), kQuestion) != 1) return;
  PortSession port(link, ui);
  if (!port.ok()) return;
  CommandTally tally;
  {
    ProgressScope progress(session, ui);
    for (int slot = kFirstSlot; slot <= kLastListReadSlot && !session.CancelRequested && !tally.LineDead(); ++slot) {
      progress.Update(slot, kLastListReadSlot);
      const QString line = EndOfListLine(SlotText(slot)) + u';';
      tally.Add(line, link.Exchange(line, Await::kReply));
    }
  }
  ReportTally(link, ui, tally, QString::fromUtf8("Wyczyszczono pamięć sterownika: ") + CountOf(tally.confirmed(), "miejsce", "miejsca", "miejsc"));
}
