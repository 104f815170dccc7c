#pragma once

#include <QString>
#include <QStringList>

// A command over the marked numbers, with nothing marked.
inline constexpr const char* kNoMarksMessage = "Brak zaznaczonych rekordów";

// How the controller took one command line.
enum class LineOutcome {
  kConfirmed,   // "OK" (or, for a phonebook read, the entry)
  kRefused,     // "ERROR"
  kUnanswered,  // nothing in time
  kPortLost,    // the device went away while the line was out
  kNotSent,     // the line carried a value that could break it, and stayed here
};

// The outcome of every line a command sent. Whatever the controller refused
// or left unanswered is counted, with the line, and never passed off as done.
class LineTally {
 public:
  // A line no reply came to after this many in a row: the line is dead (a
  // pulled cable, a controller switched off) and waiting on is pointless.
  static constexpr int kDeadAfter = 3;

  void Add(const QString& line, LineOutcome outcome);
  // A value that could have broken its line, kept here: counted, and named.
  void NotSent(const QString& value);

  int confirmed() const { return confirmed_; }
  int refused() const { return refused_; }
  int unanswered() const { return unanswered_; }
  int notSent() const { return notSent_; }
  int total() const { return confirmed_ + refused_ + unanswered_ + notSent_; }
  // The lines that went to the controller.
  int sent() const { return confirmed_ + refused_ + unanswered_; }
  bool AllConfirmed() const { return total() == confirmed_; }
  bool LineDead() const { return portLost_ || unansweredInARow_ >= kDeadAfter; }
  bool PortLost() const { return portLost_; }
  // The lines not confirmed, each with what became of it.
  const QStringList& failures() const { return failures_; }
  // The values that were not sent, as they were given.
  const QStringList& notSentValues() const { return notSentValues_; }

 private:
  int confirmed_ = 0;
  int refused_ = 0;
  int unanswered_ = 0;
  int notSent_ = 0;
  int unansweredInARow_ = 0;
  bool portLost_ = false;
  QStringList failures_;
  QStringList notSentValues_;
};

// Why a command ended before its end, when it did.
enum class Stop {
  kNone,             // it ran to its end (its lines may still have failed: see the tally)
  kCancelled,        // "ANULUJ", Ctrl+C or a closing window
  kDeclined,         // NIE to a go-ahead question: nothing was done
  kBadInput,         // refused before anything was done; `problem` says why
  kPortUnavailable,  // no port chosen, or it would not open; `problem` says which
  kPortLost,         // the device went away
  kSilent,           // the controller stopped answering
  kRefused,          // the controller refused a line the command cannot go on without
  kFileError,        // a file could not be read or written; `problem` says why
};

// What every command returns, whatever else it tells: how it ended, in the
// user's words where only the command knows them, and its lines.
struct CommandResult {
  Stop stop = Stop::kNone;
  QString problem;
  LineTally lines;

  // Everything asked was done, and the controller confirmed every line.
  bool Succeeded() const { return stop == Stop::kNone && lines.AllConfirmed(); }
  // Ends the command with `why`, as the caller's return value.
  void Fail(Stop why, const QString& words = QString()) {
    stop = why;
    problem = words;
  }
};

// What a front end does with a result: the words it shows and whether the
// command did what it was asked.
enum class Verdict {
  kDone,      // all done: the outcome line, exit status 0
  kWarning,   // done, with news to act on (lines left out): a notice, exit status 0
  kStopped,   // the user stopped it: what was done by then on the outcome line, exit status 1
  kFailed,    // not everything was done: a notice, exit status 1
  kDeclined,  // NIE to a go-ahead question: nothing was done, exit status 3
};

struct Report {
  Verdict verdict = Verdict::kDone;
  // What the user reads; empty when there is nothing to say.
  QString text;
  // For a failure told in a notice: the line that stays under the views
  // afterwards, so no older command's news stands there.
  QString summary;
};
