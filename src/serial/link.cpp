#include "serial/link.h"

#include <QEventLoop>
#include <QFile>
#include <QSaveFile>
#include <QTime>
#include <QTimer>

#include "core/session.h"
#include "core/settings.h"
#include "core/user_interface.h"
#include "common/parse_number.h"
#include "common/trace_log.h"
#include "common/windows1250.h"
#include "core/store_errors.h"
#include "serial/port_names.h"
#include "store/cursor.h"

namespace {

constexpr QByteArrayView kLineEnd("\r\n");

// Why a parse pass stopped; the text goes to the trace file.
class ParseFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool IsEmptySlotNumber(const QByteArray& number) {
  return number == "4294967295" || number == "999999999" || number == "0999999999" || number == "0";
}

bool IsEndOfLogNumber(const QByteArray& number) { return number == "999999999" || number == "0999999999"; }

// Relay-time code of the controller -> position in the relay-time list.
QByteArray RelayChoice(int code) { return code >= 3 && code <= 10 ? QByteArray::number(code - 3) : "1"; }

// Deletes up to and including the first `separator`, returning what stood
// before it; without one, everything.
QByteArray TakeUntil(QByteArray& text, char separator) {
  const qsizetype at = text.indexOf(separator);
  if (at < 0) {
    QByteArray all = text;
    text.clear();
    return all;
  }
  QByteArray part = text.left(at);
  text.remove(0, at + 1);
  return part;
}

QByteArray TrimmedOfControls(QByteArray text) {
  while (!text.isEmpty() && static_cast<unsigned char>(text.front()) <= ' ') text.remove(0, 1);
  while (!text.isEmpty() && static_cast<unsigned char>(text.back()) <= ' ') text.chop(1);
  return text;
}

}  // namespace

QByteArray StripLeadingZeros(const QByteArray& text) {
  qsizetype i = 0;
  while (i < text.size() && text[i] == '0') ++i;
  return text.mid(i);
}

Link::Link(Session& session)
    : session_(session), comm_([this](const QString& text) { Trace(text); }) {
  comm_.onRxChar = [this](qint64 waiting) { CommRxChar(waiting); };
}

Link::~Link() = default;

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

void Link::Wait(bool ReplyState::*flag, quint32 ms) {
  state.*flag = false;
  if (ms == 0) return;
  // The loop runs window events (and with them the parser) until the flag
  // goes up or the timer, on the monotonic clock, runs out.
  QEventLoop loop;
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  connect(this, &Link::flagsChanged, &loop, [&] {
    if (state.*flag) loop.quit();
  });
  timer.start(int(qMin<quint32>(ms, quint32(INT_MAX))));
  loop.exec();
}

void Link::WaitForReply(quint32 ms) { Wait(&ReplyState::ReplyComplete, ms); }

void Link::WaitForEntry(quint32 ms) { Wait(&ReplyState::EntryReceived, ms); }

void Link::WaitForLogEnd(quint32 ms) { Wait(&ReplyState::LogEnd, ms); }

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
  try {
    ParseSteps(received);
  } catch (const std::exception& e) {
    Trace(QString::fromUtf8(e.what()));
  }
  emit flagsChanged();
}

void Link::ParseSteps(const QByteArray& received) {
  QByteArray& rx = state.RxText;
  rx += received;
  if (rx.size() > kMaxRxText) rx.remove(0, rx.size() - kMaxRxText);

  if (rx.contains('>')) {
    state.ReplySeen = true;
    rx.clear();
  }
  qsizetype lineEnd = rx.indexOf(kLineEnd) + 1;  // 1-based, 0 when none
  if (lineEnd == 0) return;
  if (rx.startsWith(kLineEnd)) rx.remove(0, 2);

  auto align = [&rx](QByteArrayView marker) {
    const qsizetype at = rx.indexOf(marker);
    if (at < 0) return false;
    rx.remove(0, at);
    return true;
  };
  auto complete = [&rx] { return rx.size() > 10 && rx.contains(kLineEnd); };

  // Identity, IMEI and message-storage lines: traced and consumed one by one.
  for (const char* marker : {"AT+CGSN", "WIMEI:", "CPMS:"}) {
    if (!align(marker) || !complete()) continue;
    Log(FromWindows1250(rx));
    const qsizetype end = rx.indexOf(kLineEnd);
    rx.remove(0, end + 2);
    if (QByteArrayView(marker) != QByteArrayView("WIMEI:")) state.LastCommand.clear();
    state.ReplySeen = true;
    lineEnd = end + 1;
  }
  if (align("CMGL:") && rx.contains(kLineEnd)) {
    Log(FromWindows1250(rx));
    rx.clear();
  }
  if (align("CPBM:") && rx.contains(kLineEnd)) HandleEventLog();
  if (align("SYS:") && complete()) HandleSystem();
  if (align("CPBR:") && complete()) HandleEntry();
  const qsizetype notice = rx.indexOf("CMTI:") + 1;
  if (notice > 0) {
    align("CMTI:");
    if (notice < lineEnd) {
      Log(FromWindows1250(rx));
      state.ReplySeen = true;
      rx.clear();
    }
  }
  if (rx.contains("CMGR:")) {
    Log(FromWindows1250(rx));
    align("CMGR:");
    state.ReplySeen = true;
    if (rx.count('\r') >= 2) rx.clear();
  }
  if (rx.contains("OK\r\n")) {
    Log(FromWindows1250(rx));
    state.ReplySeen = state.ReplyComplete = true;
    rx.clear();
  }
  if (rx.contains("ERROR") && rx.contains(kLineEnd)) {
    Log(FromWindows1250(rx));
    state.ReplySeen = state.ReplyComplete = true;
    rx.clear();
  }
}

void Link::HandleEventLog() {
  QByteArray& rx = state.RxText;
  Log(FromWindows1250(rx));
  state.ReplySeen = true;
  QByteArray rest = rx.mid(5);
  rx.clear();  // a second event line in the same text goes with it
  const QByteArray number = TakeUntil(rest, ',');
  // yymmddhhmm -> yy/mm/dd hh:mm; a short remainder gives short pieces.
  const QByteArray date = rest.mid(0, 2) + '/' + rest.mid(2, 2) + '/' + rest.mid(4, 2) + ' ' + rest.mid(6, 2) + ':' +
                          rest.mid(8, 2);
  if (IsEndOfLogNumber(number)) {
    state.LogEnd = true;
    return;
  }
  store::Cursor& reports = session_.Dbf3();
  bool found = false;
  RequireOk(reports.Find("Data;Tel", {date.toStdString(), number.toStdString()}, {}, &found));
  if (found) return;
  RequireOk(reports.Append());
  RequireOk(reports.SetText("Data", date.toStdString()));
  RequireOk(reports.SetText("Tel", number.toStdString()));
  PostRow(reports);
}

void Link::HandleSystem() {
  QByteArray& rx = state.RxText;
  Log(FromWindows1250(rx));
  state.ReplySeen = true;
  rx.remove(0, 4);
  TakeUntil(rx, ',');  // the first field is not used
  // The code and whatever follows stay, so a following "OK" still ends the wait.
  // The code field ends at the next comma, or with its line when it is the last.
  qsizetype stop = rx.size();
  for (char c : {',', '\r', '\n'}) {
    const qsizetype at = rx.indexOf(c);
    if (at >= 0) stop = qMin(stop, at);
  }
  const QByteArray code = TrimmedOfControls(rx.left(stop));
  WriteSetting(kKeyRelayTime, RelayChoice(ParseNumber(QString::fromLatin1(code))));
}

void Link::HandleEntry() {
  QByteArray& rx = state.RxText;
  Log(QTime::currentTime().toString(QStringLiteral("mm:ss.zzz")) + QStringLiteral(": ") + FromWindows1250(rx));
  state.ReplySeen = true;
  QByteArray rest = rx.mid(5);
  const int slot = ParseNumber(QString::fromLatin1(TakeUntil(rest, ',').trimmed()));
  TakeUntil(rest, '"');
  QByteArray number = TakeUntil(rest, '"');
  rx.clear();
  state.EntryEmpty = false;
  state.EntryReceived = true;
  if (IsEmptySlotNumber(number)) state.EntryEmpty = true;
  number = StripLeadingZeros(number);
  if (state.EntryEmpty) return;
  switch (slot) {
    case 0:
      return WriteSetting(kKeyOstiv, number);
    case 1:
      return WriteSetting(kKeyAdminPhone, number.trimmed());
    case 1001:
      return WriteSetting(kKeyServerPhone, number);
    case 1002:
      return WriteSetting(kKeyControllerPhone, number.trimmed());
    case 1003:
      return WriteSetting(kKeyServerIp, number);
    case 1023:
      return WriteSetting(kKeyHostIp, number);
    case 1024:
      return WriteSetting(kKeyHost, number);
    default:
      return StorePhone(slot, number);
  }
}

void Link::StorePhone(int slot, QByteArray number) {
  if (number.size() <= 3) return;
  const qint64 value = ParseNumber64(QString::fromLatin1(number));
  if (value == 0) throw ParseFailure("'" + number.toStdString() + "' is not a valid integer value");
  // Numbers above nine digits come back from the controller's 32-bit store
  // short by 2^32.
  if (value > 999999999) number = QByteArray::number(value + 4294967296LL);

  store::Cursor& list = session_.Dbf1();
  bool found = false;
  std::int64_t id = slot;
  RequireOk(list.Find("Tel", {number.toStdString()}, {}, &found));
  if (found) {
    id = list.Int("ID");
    RequireOk(list.Edit());
  } else {
    RequireOk(list.Find("ID", {std::to_string(slot)}, {}, &found));
    RequireOk(found ? list.Edit() : list.Append());
  }
  RequireOk(list.SetInt("ID", id));
  RequireOk(list.SetText("Tel", number.toStdString()));
  RequireOk(list.SetInt("ST", 1));
  PostRow(list);
}

void Link::WriteSetting(const char* key, const QByteArray& value) {
  // A refused row is dropped and parsing goes on.
  UpsertSetting(session_, key, FromWindows1250(value), Refusal::kDrop);
}

PortSession::PortSession(Link& link, UserInterface& ui, bool raiseDtr) : link_(link) {
  Session& session = link.session();
  QString choice = session.PortOverride;
  if (choice.isEmpty() && !FindSetting(session, kKeyPort, &choice)) {
    ui.ShowDialog(QString::fromUtf8(kNoPortMessage), kNotice);
    return;
  }
  const PortChoice port = ResolvePort(session.FilePath(kSettingsFileName), choice);
  if (!link.comm().OpenPort(port.device)) {
    // A device given by its path is named by that path.
    ui.ShowDialog(port.byPath ? QString::fromUtf8("Błąd otwarcia portu %1").arg(port.device)
                              : QString::fromUtf8(kPortOpenFailedMessage) + QString::number(port.number),
                  kNotice);
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
