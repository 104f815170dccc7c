#pragma once

#include <QMap>
#include <QString>
#include <QTextStream>
#include <functional>

#include "core/result.h"
#include "core/user_interface.h"

// The person at the terminal: messages on standard error, questions asked
// there (or answered by a command's option, by --yes, or NIE when nobody can
// answer), and a progress bar when standard error is a terminal.
class TerminalUi : public UserInterface {
 public:
  TerminalUi(QTextStream& err, bool yes) : err_(err), yes_(yes) {}

  // Answers fixed by a command's options, by the question they answer.
  QMap<Question, bool> answers;
  // A failure no command handled was shown.
  bool failed = false;

  bool Ask(Question question, const QString& text) override;
  void ShowNotice(const QString& text) override;
  void ShowError(const QString& text) override;
  void ShowProgress() override {}
  void UpdateProgress(int current, int total) override;
  void HideProgress() override { EndBar(); }
  void ProcessEvents() override { pacer_.Pass(); }
  void SuspendViewUpdates(bool) override {}

  // Prints what a command did and gives the exit status its verdict calls
  // for: 0 done, 1 not everything done, 3 a go-ahead question answered NIE.
  int Tell(const Report& report);
  // Prints a line of news.
  void Say(const QString& text);

 private:
  void EndBar();

  QTextStream& err_;
  bool yes_;
  bool barShown_ = false;
  EventPacer pacer_;
};

// Ctrl+C while it lives: the handler only writes a byte; the event loop,
// running inside every wait, turns it into "ANULUJ" of the progress given.
class InterruptAsCancel {
 public:
  InterruptAsCancel(Progress& progress, bool enabled);
  ~InterruptAsCancel();
  InterruptAsCancel(const InterruptAsCancel&) = delete;
  InterruptAsCancel& operator=(const InterruptAsCancel&) = delete;

  bool interrupted() const { return interrupted_; }

 private:
  class QSocketNotifier* notifier_ = nullptr;
  bool installed_ = false;
  bool interrupted_ = false;
};

// Reads a PIN from standard input, without echo on a terminal.
QString ReadPin(QTextStream& err);
