#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

#include "serial/comm.h"

class Session;
class UserInterface;

// What the reply parser has seen, shared by the operations (which clear and
// test it), the waits (which clear and await it) and the parser (which sets
// it). Touched on the main thread only.
struct ReplyState {
  QByteArray RxText;  // received and not yet consumed, one byte a character
  QString LastCommand;
  bool ReplySeen = false;
  bool ReplyComplete = false;
  bool EntryReceived = false;
  bool EntryEmpty = false;
  bool LogEnd = false;
};

// The conversation with the controller: the port, the reply state, sending
// a command line, waiting for its reply, and parsing what comes back into
// the tables. Lines sent and replies seen are traced to `onLog` (the window's
// "Logi urządzenia" pane).
class Link : public QObject {
  Q_OBJECT
 public:
  // Text that matches no reply kind is kept at most this long, so a device
  // babbling without line ends cannot fill the memory.
  static constexpr qsizetype kMaxRxText = 64 * 1024;
  static constexpr qint64 kReadPiece = 1025;

  // The link writes what the controller says into `session`'s tables.
  explicit Link(Session& session);
  ~Link() override;

  Session& session() { return session_; }
  Comm& comm() { return comm_; }
  ReplyState state;
  std::function<void(const QString& line)> onLog;
  // Runs pending window events once at the end of each parse pass.
  std::function<void()> processEvents;

  // Traces the line, then writes it and one CR. Never fails: a failure is
  // written to the trace file and the wait that follows simply times out.
  void SendCommand(const QString& line);
  // Clear their flag, then return when it is raised or the time is up (a
  // time of 0 returns at once). Window events run meanwhile.
  void WaitForReply(quint32 ms);
  void WaitForEntry(quint32 ms);
  void WaitForLogEnd(quint32 ms);

  // The received-bytes handler: reads the waiting bytes in pieces and runs
  // one parse pass per piece.
  void CommRxChar(qint64 waiting);
  // One parse pass over newly received bytes (tests feed text here).
  void Parse(const QByteArray& received);

  void Trace(const QString& text) const;
  void Log(const QString& text);

 signals:
  void flagsChanged();

 private:
  void Wait(bool ReplyState::*flag, quint32 ms);
  void ParseSteps(const QByteArray& received);
  void HandleEventLog();
  void HandleSystem();
  void HandleEntry();
  void StorePhone(int slot, QByteArray number);
  void WriteSetting(const char* key, const QByteArray& value);

  Session& session_;
  Comm comm_;
};

inline constexpr const char* kCommunicationError = "Błąd komunikacji";

// The number with every leading "0" removed ("000" gives the empty text).
QByteArray StripLeadingZeros(const QByteArray& text);

inline constexpr const char* kNoPortMessage = "Brak zdefiniowanego portu COM";
inline constexpr const char* kPortOpenFailedMessage = "Błąd otwarcia portu COM";

// The opening and closing every serial operation shares: the port named by
// "portcom" is opened and DTR raised; DTR is dropped when the operation
// ends, however it ends, and the port stays open. When opening fails the
// user has been told and ok() is false.
class PortSession {
 public:
  // `raiseDtr` false leaves DTR down until RaiseDtr(), for operations that
  // ask a question between opening and talking.
  PortSession(Link& link, UserInterface& ui, bool raiseDtr = true);
  ~PortSession();
  void RaiseDtr();
  PortSession(const PortSession&) = delete;
  PortSession& operator=(const PortSession&) = delete;
  bool ok() const { return ok_; }

 private:
  Link& link_;
  bool ok_ = false;
};

// "ZAPISZ DO PLIKU": the log lines into `path`, each ended by CR LF,
// replacing the file. False when the file cannot be written.
bool SaveLogFile(const QString& path, const QStringList& lines);
