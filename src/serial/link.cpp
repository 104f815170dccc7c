#include "serial/link.h"

#include <QEventLoop>
#include <QTime>
#include <QTimer>

#include "common/private_file.h"
#include "common/trace_log.h"
#include "common/windows1250.h"
#include "core/phone_number.h"
#include "core/session.h"
#include "core/settings.h"
#include "serial/port_names.h"

namespace {

// How long a phonebook entry's closing "OK" is waited for once the entry is
// in: it comes in the same burst from a controller, well within this even
// behind a USB adapter's latency timer, and a controller that never sends it
// costs no more than this per slot.
constexpr quint32 kEntryEndGraceMs = 250;
// How long the link listens on after a line went unanswered, for a reply
// that comes late, before it sends the next line.
constexpr quint32 kLateReplyMs = 250;
// Replies kept for a line nobody takes: a babbling device must not fill the
// memory between two exchanges.
constexpr qsizetype kMaxInbox = 4096;

bool Completes(const Reply& reply) { return reply.kind == ReplyKind::kOk || reply.kind == ReplyKind::kError; }

}  // namespace

LinkOptions LinkOptionsFrom(const StartOptions& options) {
  LinkOptions link;
  link.reportWaitMs = options.raptime * 1000;
  link.adminMode = options.admin;
  link.readGap = options.readgap;
  return link;
}

bool Answer::Heard() const {
  if (prompt) return true;
  for (const Reply& reply : replies) {
    if (reply.kind != ReplyKind::kText && reply.kind != ReplyKind::kMessageList) return true;
  }
  return false;
}

const Reply* Answer::Entry() const {
  for (const Reply& reply : replies) {
    if (reply.kind == ReplyKind::kEntry) return &reply;
  }
  return nullptr;
}

Link::Link(Session& session) : session_(session), comm_([this](const QString& text) { Trace(text); }) {
  comm_.onRxChar = [this](qint64 waiting) { CommRxChar(waiting); };
  comm_.onLost = [this] {
    portLost_ = true;
    emit repliesChanged();  // a wait in progress ends now, not at its time-out
  };
}

Link::~Link() = default;

void Link::ResetState() {
  inbox_.clear();
  prompt_ = false;
  framer_.Clear();
  unknown_.clear();
}

void Link::Trace(const QString& text) const { TraceLogIn(session_.Directory(), text); }

void Link::Log(const QString& text) {
  QString lines = text;
  lines.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(u'\r', u'\n');
  while (lines.endsWith(u'\n')) lines.chop(1);
  if (!onLog) return;
  for (const QString& line : lines.split(u'\n')) onLog(line);
}

void Link::SendCommand(const QString& line) {
  Log(line);
  QByteArray bytes = ToWindows1250(line);
  bytes += '\r';
  comm_.Write(bytes);  // a failure is traced by the port; the wait will time out
}

void Link::DropStale() {
  for (const Reply& reply : inbox_) {
    if (reply.kind == ReplyKind::kText) continue;
    Log(QString::fromUtf8("Pominięto odpowiedź, na którą nikt nie czekał: ") + FromWindows1250(reply.text));
  }
  inbox_.clear();
  prompt_ = false;
}

Answer Link::Exchange(const QString& line, Await await, int ms) {
  const quint32 wait = quint32(ms < 0 ? options_.replyWaitMs : ms);
  DropStale();
  SendCommand(line);
  if (!comm_.IsOpen()) {
    portLost_ = true;
    Answer answer;
    answer.outcome = LineOutcome::kPortLost;
    return answer;
  }
  if (await == Await::kNothing) {
    Answer answer;
    answer.outcome = LineOutcome::kConfirmed;
    return answer;
  }
  Answer answer = Listen(await, wait);
  if (answer.outcome == LineOutcome::kUnanswered && !portLost_) {
    // A late reply to this line must not pass for the next one's answer:
    // whatever comes in a little longer is dropped before the next is sent.
    WaitUntil([] { return false; }, kLateReplyMs);
    DropStale();
  }
  return answer;
}

Answer Link::Listen(Await await, quint32 ms) {
  WaitUntil([this, await] { return Awaited(await); }, ms);
  if (await == Await::kEntry && !portLost_) {
    const auto ended = [this] { return std::any_of(inbox_.begin(), inbox_.end(), Completes); };
    // The entry's "OK" follows at once. Left to arrive during the next
    // command's wait, it would be taken for that command's answer and shift
    // every answer after it by one slot.
    const bool entry =
        std::any_of(inbox_.begin(), inbox_.end(), [](const Reply& reply) { return reply.kind == ReplyKind::kEntry; });
    if (entry && !ended()) WaitUntil(ended, qMin<quint32>(ms, kEntryEndGraceMs));
  }
  return Take(await);
}

bool Link::Awaited(Await await) const {
  for (const Reply& reply : inbox_) {
    switch (await) {
      case Await::kReply:
        if (Completes(reply)) return true;
        break;
      case Await::kEntry:
        // An "OK" without an entry ends the wait too: no entry is coming.
        if (reply.kind == ReplyKind::kEntry || Completes(reply)) return true;
        break;
      case Await::kLogEnd:
        if (reply.kind == ReplyKind::kEvent && reply.logEnd) return true;
        break;
      case Await::kNothing: return true;
    }
  }
  return false;
}

Answer Link::Take(Await await) {
  Answer answer;
  answer.replies = std::move(inbox_);
  answer.prompt = prompt_;
  inbox_.clear();
  prompt_ = false;
  const Reply* completing = nullptr;
  bool awaited = false;
  for (const Reply& reply : answer.replies) {
    if (!completing && Completes(reply)) completing = &reply;
    if (await == Await::kEntry && reply.kind == ReplyKind::kEntry) awaited = true;
    if (await == Await::kLogEnd && reply.kind == ReplyKind::kEvent && reply.logEnd) awaited = true;
  }
  if (await == Await::kReply || await == Await::kNothing) awaited = completing && completing->kind == ReplyKind::kOk;
  if (awaited) {
    answer.outcome = LineOutcome::kConfirmed;
  } else if (completing && completing->kind == ReplyKind::kError) {
    answer.outcome = LineOutcome::kRefused;
  } else if (portLost_) {
    answer.outcome = LineOutcome::kPortLost;
  } else {
    answer.outcome = LineOutcome::kUnanswered;
  }
  return answer;
}

void Link::WaitUntil(const std::function<bool()>& done, quint32 ms) {
  if (ms == 0 || done() || portLost_) return;
  // The loop runs window events (and with them the parser) until the
  // replies hold what is awaited or the timer, on the monotonic clock, runs out.
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  connect(this, &Link::repliesChanged, &loop, [&] {
    if (done() || portLost_) loop.quit();
  });
  timer.start(int(qMin<quint32>(ms, quint32(INT_MAX))));
  loop.exec();
}

void Link::CommRxChar(qint64 waiting) {
  while (waiting > 0) {
    const QByteArray piece = comm_.Read(qMin(waiting, kReadPiece));
    if (piece.isEmpty()) break;
    waiting -= piece.size();
    Parse(piece);
  }
  if (processEvents) processEvents();
}

void Link::Parse(const QByteArray& received) {
  framer_.Append(received);
  if (framer_.TakePrompt()) prompt_ = true;
  QByteArray line;
  while (framer_.Next(&line)) {
    // A short line waits for whatever comes after it, as the controller's
    // own firmware expects of its readers.
    const Reply reply = ParseReplyLine(line);
    if (framer_.Pending().isEmpty() && NeedsMoreText(reply)) {
      framer_.PutBack(line);
      break;
    }
    try {
      HandleLine(line, reply);
    } catch (const std::exception& e) {
      // One bad line costs that line only; the ones after it are handled.
      Trace(QString::fromUtf8(e.what()));
    }
  }
  if (unknown_.size() > kMaxRxText) unknown_.remove(0, unknown_.size() - kMaxRxText);
  if (inbox_.size() > kMaxInbox) inbox_.remove(0, inbox_.size() - kMaxInbox);
  emit repliesChanged();
}

void Link::HandleLine(const QByteArray& line, const Reply& reply) {
  if (line.isEmpty()) return;
  switch (reply.kind) {
    case ReplyKind::kText: unknown_ += line + "\r\n"; break;
    case ReplyKind::kEntry:
      Log(QTime::currentTime().toString(QStringLiteral("mm:ss.zzz")) + QStringLiteral(": ") +
          FromWindows1250(reply.text));
      break;
    case ReplyKind::kOk:
    case ReplyKind::kError:
      Log(FromWindows1250(unknown_ + line));
      unknown_.clear();
      break;
    default: Log(FromWindows1250(reply.text)); break;
  }
  inbox_.append(reply);
}

PortSession::PortSession(Link& link, bool raiseDtr) : link_(link) {
  Session& session = link.session();
  QString choice = link.options().portOverride;
  if (choice.isEmpty() && !FindSetting(session, kKeyPort, &choice)) {
    problem_ = QString::fromUtf8(kNoPortMessage);
    return;
  }
  const PortChoice port = ResolvePort(session.FilePath(kSettingsFileName), choice);
  link.portLost_ = false;
  link.ResetState();
  if (!link.comm().OpenPort(port.device)) {
    // A device given by its path is named by that path.
    problem_ = port.byPath ? QString::fromUtf8("Błąd otwarcia portu %1").arg(port.device)
                           : QString::fromUtf8(kPortOpenFailedMessage) + QString::number(port.number);
    // Permissions are the one cause the user can mend alone: say how.
    if (link.comm().OpenDenied()) problem_ += QStringLiteral(". ") + PortAccessAdvice(port.device);
    return;
  }
  ok_ = true;
  if (raiseDtr) RaiseDtr();
}

void PortSession::RaiseDtr() {
  if (ok_) link_.comm().SetDtr(true);
}

PortSession::~PortSession() {
  if (ok_) link_.comm().SetDtr(false);
}

bool Opened(const PortSession& port, CommandResult* result) {
  if (!port.ok()) result->Fail(Stop::kPortUnavailable, port.problem());
  return port.ok();
}

bool ValueForLine(LineTally& tally, const QString& value, ValueKind kind, QString* forLine) {
  bool safe = false;
  if (kind == ValueKind::kPhone) {
    safe = NormalisePhoneNumber(value, kAnyPhoneLength, forLine);
  } else {
    safe = std::none_of(value.begin(), value.end(), [](QChar c) {
      return c == u'"' || c == u',' || c == u';' || c.unicode() < 0x20 || c.unicode() == 0x7F;
    });
    if (safe) *forLine = value;
  }
  if (!safe) tally.NotSent(value);
  return safe;
}

LineOutcome ExchangeCounted(Link& link, LineTally& tally, const QString& line) {
  const LineOutcome outcome = link.Exchange(line, Await::kReply).outcome;
  tally.Add(line, outcome);
  return outcome;
}

void EndByTally(CommandResult& result, bool cancelled) {
  const LineTally& lines = result.lines;
  if (lines.PortLost()) {
    result.Fail(Stop::kPortLost);
  } else if (lines.LineDead() || (lines.total() > 0 && lines.unanswered() == lines.total())) {
    result.Fail(Stop::kSilent);
  } else if (cancelled) {
    result.Fail(Stop::kCancelled);
  }
}

void LogFailures(Link& link, const LineTally& tally) {
  for (const QString& failure : tally.failures()) {
    link.Log(failure);
    link.Trace(failure);
  }
}

bool SaveLogFile(const QString& path, const QStringList& lines) {
  QByteArray bytes;
  for (const QString& line : lines) bytes += ToWindows1250(line) + "\r\n";
  QString cause;
  return WriteFileWhole(path, bytes, &cause);
}
