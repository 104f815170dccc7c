#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

#include "core/result.h"
#include "serial/comm.h"
#include "serial/line_framer.h"
#include "serial/reply_parser.h"

class Session;
struct StartOptions;

// How the link talks, for one run: the settings file's start-up options,
// and the command line's flags over them.
struct LinkOptions {
  // How long each command line waits for its reply (tests shorten it).
  int replyWaitMs = 2000;
  // How long the event-log fetch waits for the end of the log ("raptime").
  int reportWaitMs = 15000;
  // Slots a phonebook read looks at past an empty one ("readgap").
  int readGap = 20;
  // The configuration read also asks the host settings ("admin").
  bool adminMode = false;
  // A port for this run instead of "portcom": "COMn", or a device path used
  // as it stands (the command-line front end's --port).
  QString portOverride;
};
LinkOptions LinkOptionsFrom(const StartOptions& options);

// What an exchange waits for after sending its line.
enum class Await {
  kReply,   // the "OK" (or "ERROR") that ends a reply
  kEntry,   // a phonebook entry and its "OK" (or an "ERROR" instead)
  kLogEnd,  // the event-log entry that ends the log
  kNothing  // no wait: the caller listens itself
};

// What came back for one command line (or one window of listening): how the
// line was taken and every reply line that arrived for it, in order.
struct Answer {
  LineOutcome outcome = LineOutcome::kUnanswered;
  QList<Reply> replies;
  // The controller's ">" prompt came.
  bool prompt = false;

  // Some recognised reply came (text no marker names does not count).
  bool Heard() const;
  // The first phonebook entry among the replies; nullptr when none came.
  const Reply* Entry() const;
};

// The conversation with the controller: the port, a line framer in front of
// the reply parser, and the exchange of one command line for the replies
// that answer it. The link stores nothing: a command that means to keep what
// the controller said takes it from the answer. Lines sent and replies seen
// are traced to `onLog` (the window's "Logi urządzenia" pane).
class Link : public QObject {
  Q_OBJECT
 public:
  static constexpr qsizetype kMaxRxText = LineFramer::kMaxPending;
  static constexpr qint64 kReadPiece = 1025;

  // The run whose directory takes the trace file and whose settings name the port.
  explicit Link(Session& session);
  ~Link() override;

  Session& session() { return session_; }
  LinkOptions& options() { return options_; }
  const LinkOptions& options() const { return options_; }
  Comm& comm() { return comm_; }
  // Forgets any reply not yet taken and any text not yet framed.
  void ResetState();
  // Received text not yet handled: an unfinished line, or a short one
  // waiting for more.
  const QByteArray& PendingText() const { return framer_.Pending(); }
  // The device went away; the port is closed until the next opening.
  bool PortLost() const { return portLost_; }

  std::function<void(const QString& line)> onLog;
  // Runs pending window events once at the end of each parse pass.
  std::function<void()> processEvents;

  // Sends `line` and waits up to `ms` (the reply wait when negative) for
  // what `await` names. Replies left over from an earlier line are dropped
  // (and logged) first: they answer nothing that is asked now.
  Answer Exchange(const QString& line, Await await, int ms = -1);
  // Waits up to `ms` for what `await` names without sending anything; the
  // replies that came meanwhile.
  Answer Listen(Await await, quint32 ms);

  // Traces the line, then writes it and one CR. Never fails: a failure is
  // written to the trace file and the wait that follows simply times out.
  void SendCommand(const QString& line);

  // The received-bytes handler: reads the waiting bytes in pieces and runs
  // one parse pass per piece.
  void CommRxChar(qint64 waiting);
  // One parse pass over newly received bytes (tests feed text here): every
  // complete line, in order.
  void Parse(const QByteArray& received);

  void Trace(const QString& text) const;
  void Log(const QString& text);

 signals:
  void repliesChanged();

 private:
  friend class PortSession;
  // Runs events until `done` holds for the replies so far, the port is lost
  // or `ms` pass.
  void WaitUntil(const std::function<bool()>& done, quint32 ms);
  bool Awaited(Await await) const;
  Answer Take(Await await);
  void DropStale();
  void HandleLine(const QByteArray& line, const Reply& reply);

  Session& session_;
  LinkOptions options_;
  Comm comm_;
  LineFramer framer_;
  QList<Reply> inbox_;
  bool prompt_ = false;
  bool portLost_ = false;
  // Lines no marker names, shown with the "OK" or "ERROR" that ends them.
  QByteArray unknown_;
};

inline constexpr const char* kCommunicationError = "Błąd komunikacji";
inline constexpr const char* kRefusedMessage = "Sterownik odrzucił polecenie %1";
inline constexpr const char* kPortLostMessage = "Utracono połączenie ze sterownikiem: port COM został zamknięty";
inline constexpr const char* kNoPortMessage = "Brak zdefiniowanego portu COM";
inline constexpr const char* kPortOpenFailedMessage = "Błąd otwarcia portu COM";

// The opening and closing every serial operation shares: the port named by
// "portcom" (or the override) is opened and DTR raised; DTR is dropped when
// the operation ends, however it ends, and the port stays open. When opening
// fails ok() is false and problem() says why in the user's words.
class PortSession {
 public:
  // `raiseDtr` false leaves DTR down until RaiseDtr(), for operations that
  // ask a question between opening and talking.
  explicit PortSession(Link& link, bool raiseDtr = true);
  ~PortSession();
  void RaiseDtr();
  PortSession(const PortSession&) = delete;
  PortSession& operator=(const PortSession&) = delete;
  bool ok() const { return ok_; }
  const QString& problem() const { return problem_; }

 private:
  Link& link_;
  bool ok_ = false;
  QString problem_;
};

// Whether `port` opened; when not, `result` ends with why, and the command
// returns it.
bool Opened(const PortSession& port, CommandResult* result);

// What a value in a command line is, for the last check before it goes.
enum class ValueKind {
  kPhone,    // a phone number: sent normalised, digits with an optional leading "+"
  kSetting,  // any other setting (the host settings): sent as it stands
};

// `value` as it goes into a command line: a phone normalised; a setting as
// it stands when nothing in it (a quote, a comma, a semicolon, a control
// character) could end its field and start another command. False for a
// value that may not go; it is then counted in `tally` as not sent.
bool ValueForLine(LineTally& tally, const QString& value, ValueKind kind, QString* forLine);

// Sends `line` and waits for its reply, adding the outcome to `tally`.
LineOutcome ExchangeCounted(Link& link, LineTally& tally, const QString& line);

// How a command that sends its lines one after the other ended, by its
// tally: a lost port, a line gone dead or nothing answered at all, else a
// cancel when `cancelled`.
void EndByTally(CommandResult& result, bool cancelled);

// Puts every line `tally` did not have confirmed into the device log and the
// trace file, for whoever looks into a failure later.
void LogFailures(Link& link, const LineTally& tally);

// "ZAPISZ DO PLIKU": the log lines into `path`, each ended by CR LF,
// replacing the file. False when the file cannot be written.
bool SaveLogFile(const QString& path, const QStringList& lines);
