#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>

#include "serial/link.h"

class UserInterface;

// The outcome of every command line an operation sent. A write, a delete, a
// format or a configuration write reads each reply: whatever the controller
// refused or left unanswered is counted and told, never passed off as done.
class CommandTally {
 public:
  // A line no reply came to after this many in a row: the line is dead (a
  // pulled cable, a controller switched off) and waiting on is pointless.
  static constexpr int kDeadAfter = 3;

  void Add(const QString& line, Outcome outcome);

  int confirmed() const { return confirmed_; }
  int refused() const { return refused_; }
  int unanswered() const { return unanswered_; }
  int total() const { return confirmed_ + refused_ + unanswered_; }
  bool AllConfirmed() const { return total() == confirmed_; }
  bool LineDead() const { return portLost_ || unansweredInARow_ >= kDeadAfter; }
  bool PortLost() const { return portLost_; }
  // The lines not confirmed, each with what became of it.
  const QStringList& failures() const { return failures_; }

 private:
  int confirmed_ = 0;
  int refused_ = 0;
  int unanswered_ = 0;
  int unansweredInARow_ = 0;
  bool portLost_ = false;
  QStringList failures_;
};

// The last guard before a value goes into a command line: empty, or a phone
// number as the one rule takes it. Anything else could end its field and
// start another command.
bool SafeForCommandLine(const QString& value);

// Sends `line` and waits for its reply, adding the outcome to `tally`. A
// line carrying a value that is not safe is not sent: it is traced and
// counted as refused.
Outcome ExchangeChecked(Link& link, CommandTally& tally, const QString& line, std::initializer_list<QString> values);

// "Sterownik nie potwierdził 3 z 120 poleceń (odrzucone: 1, bez odpowiedzi: 2)".
QString UnconfirmedMessage(const CommandTally& tally);

// Ends an operation by telling the user what happened: "Błąd komunikacji"
// when the line went dead, the count of unconfirmed lines when any were
// (those lines also go to the device log and the trace file), `done`
// otherwise. Returns whether every line was confirmed.
bool ReportTally(Link& link, UserInterface& ui, const CommandTally& tally, const QString& done);
