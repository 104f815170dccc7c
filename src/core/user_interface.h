#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>

class Session;

// Kinds of ShowDialog: a notice with "OK", or a question with "TAK"/"NIE".
inline constexpr int kNotice = 0;
inline constexpr int kQuestion = 1;

// Everything a command may ask of the person at the screen. The main window
// answers with widgets; tests answer with a script. Commands never touch a
// widget themselves, so each one runs headless.
class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // The modal message box. Kind kQuestion returns 1 only for "TAK"; every
  // other answer, and every notice, returns 0.
  virtual int ShowDialog(const QString& text, int kind) = 0;

  // The application's general error box, for failures no command handled.
  virtual void ShowError(const QString& text) = 0;

  // How a command that worked ended ("Zapisano w sterowniku 120 numerów"):
  // news, not a failure, so a front end that counts failures does not count
  // it. A notice box unless the front end shows it otherwise.
  virtual void ShowOutcome(const QString& text) { ShowDialog(text, kNotice); }

  // The progress panel: shown over everything, redrawn, hidden. Its "ANULUJ"
  // sets the session's CancelRequested.
  virtual void ShowProgress() = 0;
  virtual void UpdateProgress(int current, int total) = 0;
  virtual void HideProgress() = 0;

  // Lets pending window events run, so long work keeps the window live.
  virtual void ProcessEvents() = 0;

  // Stops and restarts repainting of the list views around bulk changes.
  virtual void SuspendViewUpdates(bool suspended) = 0;
};

// Shows the progress panel for the life of a long operation: clears
// CancelRequested first and hides the panel however the operation ends.
class ProgressScope {
 public:
  ProgressScope(Session& session, UserInterface& ui);
  ~ProgressScope();
  ProgressScope(const ProgressScope&) = delete;
  ProgressScope& operator=(const ProgressScope&) = delete;

  void Update(int current, int total) { ui_.UpdateProgress(current, total); }
  bool CancelRequested() const;

 private:
  Session& session_;
  UserInterface& ui_;
};

// Runs one user command. An exception that escapes it ends the command and is
// shown in the general error box; the application goes on.
void RunCommand(UserInterface& ui, const std::function<void()>& command);

// Runs pending window events when a few milliseconds have passed since the
// last run: often enough for the window to stay live and "ANULUJ" to be
// noticed at once, rarely enough that a loop over ten thousand rows does not
// spend most of its time asking for events that are not there.
class EventPacer {
 public:
  static constexpr int kIntervalMs = 10;
  void Pass();

 private:
  QElapsedTimer last_;
};
