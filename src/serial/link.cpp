#include "serial/link.h"

#include <QEventLoop>
#include <QSaveFile>
#include <QTime>
#include <QTimer>

#include "core/session.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "common/trace_log.h"
#include "common/windows1250.h"
#include "serial/port_names.h"

Link::Link(Session& session)
    : session_(session), comm_([this](const QString& text) { Trace(text); }), store_(session) {
  comm_.onRxChar = [this](qint64 waiting) { CommRxChar(waiting); };
  comm_.onLost = [this] {
    state_.PortLost = true;
    emit flagsChanged();  // a wait in progress ends now, not at its time-out
  };
}

Link::~Link() = default;

void Link::ResetState() {
  state_ = ReplyState();
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

namespace {
// How long a phonebook entry's closing "OK" is waited for once the entry is
// in: it comes in the same burst from a controller, well within this even
// behind a USB adapter's latency timer, and a controller that never sends it
// costs no more than this per slot.
constexpr quint32 kEntryEndGraceMs = 250;
}  // namespace

Outcome Link::Exchange(const QString& line, Await await, int ms) {
  const quint32 wait = quint32(ms < 0 ? session_.ReplyWaitMs : ms);
  state_.LastCommand = line;
  state_.ReplySeen = false;
  state_.ReplyRefused = false;
  // A flag left from an earlier exchange must not pass for this one's answer.
  state_.EntryEmpty = false;
  SendCommand(line);
  if (!comm_.IsOpen()) {
    state_.PortLost = true;
    return Outcome::kPortLost;
  }
  switch (await) {
    case Await::kReply:
      WaitForReply(wait);
      if (!state_.ReplyComplete) return state_.PortLost ? Outcome::kPortLost : Outcome::kUnanswered;
      return state_.ReplyRefused ? Outcome::kRefused : Outcome::kConfirmed;
    case Await::kEntry:
      Wait(&ReplyState::EntryReceived, wait, true);
      if (state_.EntryReceived) {
        // The entry's "OK" follows at once. Left to arrive during the next
        // command's wait, it would be taken for that command's answer and
        // shift every answer after it by one slot.
        WaitUntil(&ReplyState::ReplyComplete, qMin<quint32>(wait, kEntryEndGraceMs));
        return Outcome::kConfirmed;
      }
      if (state_.PortLost) return Outcome::kPortLost;
      return state_.ReplyRefused ? Outcome::kRefused : Outcome::kUnanswered;
    case Await::kNothing:
      break;
  }
  return Outcome::kConfirmed;
}

void Link::Wait(bool ReplyState::*flag, quint32 ms, bool orRefused) {
  state_.*flag = false;
  if (orRefused) state_.ReplyComplete = false;
  WaitUntil(flag, ms, orRefused);
}

void Link::WaitUntil(bool ReplyState::*flag, quint32 ms, bool orRefused) {
  if (ms == 0 || state_.*flag) return;
  // The loop runs window events (and with them the parser) until the flag
  // goes up or the timer, on the monotonic clock, runs out.
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  connect(this, &Link::flagsChanged, &loop, [&] {
    if (state_.*flag || state_.PortLost || (orRefused && state_.ReplyComplete && state_.ReplyRefused)) loop.quit();
  });
  timer.start(int(qMin<quint32>(ms, quint32(INT_MAX))));
  loop.exec();
}

void Link::WaitForReply(quint32 ms) { Wait(&ReplyState::ReplyComplete, ms); }

void Link::WaitForEntry(quint32 ms) { Wait(&ReplyState::EntryReceived, ms); }

void Link::WaitForLogEnd(quint32 ms) { Wait(&ReplyState::LogEnd, ms); }

void Link::WaitForAnyReply(quint32 ms) {
  state_.ReplySeen = false;
  WaitForReply(ms);
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
  if (framer_.TakePrompt()) state_.ReplySeen = true;
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
  emit flagsChanged();
}

void Link::HandleLine(const QByteArray& line, const Reply& reply) {
  if (line.isEmpty()) return;
  if (onReply) onReply(reply);
  switch (reply.kind) {
    case ReplyKind::kText:
      unknown_ += line + "\r\n";
      return;
    case ReplyKind::kIdentity:
    case ReplyKind::kStorage:
      state_.LastCommand.clear();
      [[fallthrough]];
    case ReplyKind::kImei:
    case ReplyKind::kNotice:
    case ReplyKind::kMessage:
      Log(FromWindows1250(reply.text));
      state_.ReplySeen = true;
      return;
    case ReplyKind::kMessageList:
      Log(FromWindows1250(reply.text));
      return;
    case ReplyKind::kEvent:
      Log(FromWindows1250(reply.text));
      state_.ReplySeen = true;
      if (reply.logEnd) {
        state_.LogEnd = true;
        return;
      }
      if (storing_) store_.StoreEvent(reply.date, reply.number);
      return;
    case ReplyKind::kSystem:
      Log(FromWindows1250(reply.text));
      state_.ReplySeen = true;
      if (storing_) store_.StoreRelayCode(reply.relayCode);
      return;
    case ReplyKind::kEntry:
      Log(QTime::currentTime().toString(QStringLiteral("mm:ss.zzz")) + QStringLiteral(": ") +
          FromWindows1250(reply.text));
      state_.ReplySeen = true;
      state_.EntryReceived = true;
      state_.EntryEmpty = reply.emptySlot;
      state_.EntryNumber = reply.number;
      if (!reply.emptySlot && storing_) store_.StoreEntry(reply.slot, reply.number);
      return;
    case ReplyKind::kOk:
    case ReplyKind::kError:
      Log(FromWindows1250(unknown_ + line));
      unknown_.clear();
      state_.ReplySeen = state_.ReplyComplete = true;
      state_.ReplyRefused = reply.kind == ReplyKind::kError;
      return;
  }
}

PortSession::PortSession(Link& link, UserInterface& ui, bool raiseDtr) : link_(link) {
  Session& session = link.session();
  QString choice = session.PortOverride;
  if (choice.isEmpty() && !FindSetting(session, kKeyPort, &choice)) {
    ui.ShowDialog(QString::fromUtf8(kNoPortMessage), kNotice);
    return;
  }
  const PortChoice port = ResolvePort(session.FilePath(kSettingsFileName), choice);
  link.state_.PortLost = false;
  if (!link.comm().OpenPort(port.device)) {
    // A device given by its path is named by that path.
    QString message = port.byPath ? QString::fromUtf8("Błąd otwarcia portu %1").arg(port.device)
                                  : QString::fromUtf8(kPortOpenFailedMessage) + QString::number(port.number);
    // Permissions are the one cause the user can mend alone: say how.
    if (link.comm().OpenDenied()) message += QStringLiteral(". ") + PortAccessAdvice(port.device);
    ui.ShowDialog(message, kNotice);
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

bool SaveLogFile(const QString& path, const QStringList& lines) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  for (const QString& line : lines) file.write(ToWindows1250(line) + "\r\n");
  return file.commit();
}
