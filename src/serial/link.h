#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

#include "serial/comm.h"
#include "serial/line_framer.h"
#include "serial/reply_parser.h"
#include "serial/reply_store.h"

class Session;
class UserInterface;

// What the replies have said since the current exchange began. The link
// raises the flags as lines arrive; an exchange clears them when it sends.
struct ReplyState {
  QString LastCommand;
  bool ReplySeen = false;      // any reply line
  bool ReplyComplete = false;  // a line ending in "OK", or an "ERROR" line
  bool ReplyRefused = false;   // the line that completed it was "ERROR"
  bool EntryReceived = false;
  bool EntryEmpty = false;
  bool LogEnd = false;
  bool PortLost = false;       // the device went away; the port is closed
  QByteArray EntryNumber;      // the last entry's number, as sent
};

// What an exchange waits for after sending its line.
enum class Await {
  kReply,   // the "OK" (or "ERROR") that ends a reply
  kEntry,   // a phonebook entry (or an "ERROR" instead of one)
  kNothing  // no wait: the caller listens itself
};

// How the controller took one command line.
enum class Outcome { kConfirmed, kRefused, kUnanswered, kPortLost };

// The conversation with the controller: the port, a line framer in front of
// the reply parser, the reply store writing into the run's tables, and the
// exchange of one command line for its reply. Lines sent and replies seen
// are traced to `onLog` (the window's "Logi urządzenia" pane).
class Link : public QObject {
  Q_OBJECT
 public:
  static constexpr qsizetype kMaxRxText = LineFramer::kMaxPending;
  static constexpr qint64 kReadPiece = 1025;

  // The link writes what the controller says into `session`'s tables.
  explicit Link(Session& session);
  ~Link() override;

  Session& session() { return session_; }
  // While off, replies raise their flags but store nothing (a look past the
  // end of the phonebook must add nothing to the list).
  void SetStoring(bool storing) { storing_ = storing; }
  bool Storing() const { return storing_; }
  // While set, the numbers the phonebook entries confirm are collected (see
  // ReplyStore::CollectConfirmed); nullptr stops it.
  void CollectConfirmed(QSet<QByteArray>* into) { store_.CollectConfirmed(into); }
  Comm& comm() { return comm_; }
  const ReplyState& state() const { return state_; }
  // Forgets every flag and any text not yet taken (a fresh start for tests).
  void ResetState();
  // Received text not yet handled: an unfinished line, or a short one
  // waiting for more.
  const QByteArray& PendingText() const { return framer_.Pending(); }

  std::function<void(const QString& line)> onLog;
  // Every reply line as parsed, before it is stored: what a read with
  // storing off (a backup) takes from the controller.
  std::function<void(const Reply& reply)> onReply;
  // Runs pending window events once at the end of each parse pass.
  std::function<void()> processEvents;

  // Sends `line` and waits up to `ms` (the session's reply wait when
  // negative) for what `await` names. Confirmed is an "OK" (or, for an
  // entry, the entry); refused an "ERROR"; unanswered nothing in time.
  Outcome Exchange(const QString& line, Await await, int ms = -1);

  // Traces the line, then writes it and one CR. Never fails: a failure is
  // written to the trace file and the wait that follows simply times out.
  void SendCommand(const QString& line);
  // Clear their flag, then return when it is raised or the time is up (a
  // time of 0 returns at once). Window events run meanwhile.
  void WaitForReply(quint32 ms);
  void WaitForEntry(quint32 ms);
  void WaitForLogEnd(quint32 ms);
  // Clears ReplySeen, then waits as WaitForReply does.
  void WaitForAnyReply(quint32 ms);

  // The received-bytes handler: reads the waiting bytes in pieces and runs
  // one parse pass per piece.
  void CommRxChar(qint64 waiting);
  // One parse pass over newly received bytes (tests feed text here): every
  // complete line, in order.
  void Parse(const QByteArray& received);

  void Trace(const QString& text) const;
  void Log(const QString& text);

 signals:
  void flagsChanged();

 private:
  friend class PortSession;
  void Wait(bool ReplyState::*flag, quint32 ms, bool orRefused = false);
  // Runs events until `flag` is up (it is not cleared first) or `ms` pass.
  void WaitUntil(bool ReplyState::*flag, quint32 ms, bool orRefused = false);
  void HandleLine(const QByteArray& line, const Reply& reply);

  Session& session_;
  Comm comm_;
  LineFramer framer_;
  ReplyStore store_;
  ReplyState state_;
  bool storing_ = true;
  // Lines no marker names, shown with the "OK" or "ERROR" that ends them.
  QByteArray unknown_;
};

// A read that must leave the list and the settings as they are: storing is
// off for as long as it lives, and back as it was after.
class StoringOff {
 public:
  explicit StoringOff(Link& link) : link_(link), was_(link.Storing()) { link_.SetStoring(false); }
  ~StoringOff() { link_.SetStoring(was_); }
  StoringOff(const StoringOff&) = delete;
  StoringOff& operator=(const StoringOff&) = delete;

 private:
  Link& link_;
  bool was_;
};

inline constexpr const char* kCommunicationError = "Błąd komunikacji";
inline constexpr const char* kRefusedMessage = "Sterownik odrzucił polecenie %1";
inline constexpr const char* kPortLostMessage = "Utracono połączenie ze sterownikiem: port COM został zamknięty";


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
