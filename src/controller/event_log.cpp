#include "controller/event_log.h"

#include "core/session.h"
#include "core/user_interface.h"
#include "common/parse_number.h"
#include "common/windows1250.h"
#include "serial/link.h"
#include "store/cursor.h"

void FetchEvents(Link& link, UserInterface& ui, const QString& countText) {
  Session& session = link.session();
  const int count = ParseNumber(countText);
  // The listening windows count up to a positive total; nothing else makes sense.
  if (count < 1) {
    ui.ShowDialog(QString::fromUtf8(kBadCountMessage), kNotice);
    return;
  }
  PortSession port(link, ui);
  if (!port.ok()) return;
  ProgressScope progress(session, ui);
  link.Exchange(QStringLiteral("AT+CPBM=%1").arg(count), Await::kNothing);
  // Listening goes on while every window brings a reply line.
  for (int window = 0; window <= count; ++window) {
    if (session.CancelRequested) break;
    progress.Update(window, count);
    link.WaitForAnyReply(quint32(session.ReplyWaitMs));
    if (link.state().PortLost || link.state().ReplyRefused) {
      ui.HideProgress();
      ui.ShowDialog(link.state().PortLost ? QString::fromUtf8(kPortLostMessage)
                                          : QString::fromUtf8(kRefusedMessage).arg(link.state().LastCommand),
                    kNotice);
      break;
    }
    if (!link.state().ReplySeen) {
      ui.HideProgress();
      // Not a single line: the controller is not there, which an empty
      // report must not pretend otherwise.
      if (window == 0) ui.ShowDialog(QString::fromUtf8(kCommunicationError), kNotice);
      break;
    }
  }
  if (link.state().ReplySeen && !link.state().PortLost && !link.state().ReplyRefused && !session.CancelRequested) {
    link.WaitForLogEnd(quint32(session.ReportWaitMs));
  }
}
