#include "serial/list_transfer.h"

#include "core/session.h"
#include "core/user_interface.h"
#include "common/slot_text.h"
#include "common/windows1250.h"
#include "phonelist/list_commands.h"
#include "serial/link.h"
#include "store/cursor.h"

namespace {

constexpr int kFirstSlot = 2;
constexpr int kLastReadSlot = 2000;
constexpr int kLastVerifySlot = 1000;
constexpr int kReadProgressTotal = 1000;

QString EndOfListLine(const QString& slot) {
  return QStringLiteral("AT+CPBW=%1,\"999999999\",145,\"999999999\"").arg(slot);
}


// Asks one slot and waits; false when the phonebook has ended or the
// controller did not answer (then the user has been told).
bool AskSlot(Link& link, UserInterface& ui, int slot, bool waitForEntry) {
  link.Exchange(QStringLiteral("AT+CPBR=") + SlotText(slot), waitForEntry ? Await::kEntry : Await::kReply);
  if (link.state().EntryEmpty) return false;
  if (!link.state().ReplySeen) {
    ui.HideProgress();
    ui.ShowDialog(QString::fromUtf8(kCommunicationError), kNotice);
    return false;
  }
  return true;
}

}  // namespace

Outcome SendListEntry(Link& link, const QString& slot, const QString& tel, bool partial, bool remove) {
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
  return link.Exchange(line, Await::kReply);
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
  {
    ProgressScope progress(session, ui);
    // Decided once: a write of every row numbers the slots, a write of some
    // rows lets the controller place them.
    const bool partial = list.RowCount() != session.memcheck.Count();
    const auto step = [&](const std::string& number, int position) {
      const QString tel = FromWindows1250(QByteArray::fromStdString(number));
      if (tel.trimmed().isEmpty()) return false;
      try {
        const QString slot = SlotText(position + 1);
        if (mode == TransferMode::kDelete) {
          SendListEntry(link, slot, tel, partial, true);
          bool found = false;
          RequireOk(list.Find("Tel", {number}, {}, &found));
          if (found) RequireOk(list.Delete());
        } else {
          SendListEntry(link, slot, tel, partial, false);
        }
      } catch (const std::exception& e) {
        link.Trace(QString::fromUtf8(e.what()));
      }
      return true;
    };
    ForEachMarked(session, ui, progress, step, [&] {
      // The end of the list goes after the last row, also after a cancel.
      if (mode == TransferMode::kWrite) SendListEntry(link, SlotText(list.RowCount() + 2), QString(), false, false);
      session.memcheck.Empty();
    });
    RequireOk(list.Refresh());
  }
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
  {
    ProgressScope progress(session, ui);
    for (int slot = kFirstSlot; slot <= kLastReadSlot && !session.CancelRequested; ++slot) {
      progress.Update(slot, kReadProgressTotal);
      if (!AskSlot(link, ui, slot, true)) break;
    }
  }
  session.UnsavedChanges = false;
}

void VerifyList(Link& link, UserInterface& ui) {
  Session& session = link.session();
  PortSession port(link, ui, false);
  if (!port.ok()) return;
  store::Cursor& list = session.Dbf1();
  {
    ListUpdatesSuspended still(session, ui);
    BulkUpdateScope bulk(session);
    ProgressScope progress(session, ui);
    RequireOk(list.Settle());
    for (list.First(); !list.Eof() && !session.CancelRequested; list.Next()) {
      try {
        RequireOk(list.Edit());
        RequireOk(list.SetInt("ST", 0));
        PostRow(list);
      } catch (const std::exception& e) {
        link.Trace(QString::fromUtf8(e.what()));
      }
      ui.ProcessEvents();
    }
    port.RaiseDtr();
    ui.ShowProgress();
    for (int slot = kFirstSlot; slot <= kLastVerifySlot && !session.CancelRequested; ++slot) {
      progress.Update(slot, kLastVerifySlot);
      if (!AskSlot(link, ui, slot, false)) break;
    }
  }
  list.First();
}

void FormatMemory(Link& link, UserInterface& ui) {
  Session& session = link.session();
  if (ui.ShowDialog(QString::fromUtf8(kFormatQuestion), kQuestion) != 1) return;
  PortSession port(link, ui);
  if (!port.ok()) return;
  ProgressScope progress(session, ui);
  for (int slot = kFirstSlot; slot <= kLastReadSlot && !session.CancelRequested; ++slot) {
    progress.Update(slot, kLastReadSlot);
    link.Exchange(EndOfListLine(SlotText(slot)) + u';', Await::kReply);
  }
}
