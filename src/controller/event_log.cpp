#include "controller/event_log.h"

#include "common/parse_number.h"
#include "core/user_interface.h"
#include "serial/link.h"
#include "serial/reply_store.h"

EventsResult FetchEvents(Link& link, Progress& progress, const QString& countText) {
  EventsResult result;
  const int count = ParseNumber(countText);
  // The listening windows count up to a positive total; nothing else makes sense.
  if (count < 1) {
    result.Fail(Stop::kBadInput, QString::fromUtf8(kBadCountMessage));
    return result;
  }
  PortSession port(link);
  if (!Opened(port, &result)) return result;
  ReplyStore store(link.session());
  // Every event the controller sent goes into the table as it is taken.
  const auto take = [&](const Answer& answer) {
    for (const Reply& reply : answer.replies) {
      if (reply.kind != ReplyKind::kEvent || reply.logEnd) continue;
      ++result.received;
      try {
        if (store.StoreEvent(reply.date, reply.number)) ++result.stored;
      } catch (const std::exception& e) {
        link.Trace(QString::fromUtf8(e.what()));
      }
    }
  };
  const QString line = QStringLiteral("AT+CPBM=%1").arg(count);
  take(link.Exchange(line, Await::kNothing));
  // Listening goes on while every window brings a reply line.
  bool heard = false;
  for (int window = 0; window <= count; ++window) {
    if (progress.Cancelled()) {
      result.Fail(Stop::kCancelled);
      break;
    }
    progress.Update(window, count);
    const Answer answer = link.Listen(Await::kReply, quint32(link.options().replyWaitMs));
    take(answer);
    if (answer.outcome == LineOutcome::kPortLost) {
      result.Fail(Stop::kPortLost);
      break;
    }
    if (answer.outcome == LineOutcome::kRefused) {
      result.Fail(Stop::kRefused, line);
      break;
    }
    heard = answer.Heard();
    if (!heard) {
      // Not a single line: the controller is not there, which an empty
      // report must not pretend otherwise.
      if (window == 0) result.Fail(Stop::kSilent);
      break;
    }
  }
  if (heard && result.stop == Stop::kNone) {
    take(link.Listen(Await::kLogEnd, quint32(link.options().reportWaitMs)));
  }
  return result;
}
