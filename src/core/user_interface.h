#pragma once

#include <QElapsedTimer>
#include <QString>
#include <functional>

// What a command may ask, by identity: a front end answers from what it was
// told (the command line's options) or puts the words to the user (the
// window), and never has to read them to know which question it is.
enum class Question {
  kClearBeforeRead,    // empty the list before a read fills it
  kReadPastHole,       // numbers lie past an empty slot: read on to them?
  kClearBeforeImport,  // empty the list before an import fills it
  kSaveSettings,       // unsaved changes before a configuration write
  kSaveOnClose,        // unsaved changes as the window closes
  // Go-ahead questions: NIE to one of these leaves the command with nothing done.
  kDeleteFromList,
  kFormat,
  kRestore,
  kSync,
  kAddAnotherForm,  // the number is on the list in another form: add it all the same?
  kDeleteFromController,  // the marked numbers out of the controller
  kCloseWithoutPhones,    // the settings phones could not be saved: close all the same?
  kRemoveSite,            // a site and its list out of the workspace
};

inline constexpr const char* kDeleteFromControllerQuestion =
    "Operacja usunie zaznaczone numery ze sterownika. Czy kontynuować?";

// Whether "TAK" to `question` destroys or throws away something, so that
// "NIE" is the answer a front end offers first.
bool IsCautious(Question question);

// An answer to a question that may also be put off ("ANULUJ").
enum class Choice { kYes, kNo, kCancel };

// Whether NIE to `question` means that the command does nothing at all.
bool IsGoAhead(Question question);

// Everything a command may ask of the person at the screen. The main window
// answers with widgets, the command line with its options and the terminal,
// tests with a script. Commands never touch a widget themselves, so each one
// runs headless; what they did they return, and the front end tells it.
class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A question; true only for "TAK".
  virtual bool Ask(Question question, const QString& text) = 0;
  // A question that may also be put off; a front end without a way to put
  // it off answers as Ask does.
  virtual Choice AskOrCancel(Question question, const QString& text) {
    return Ask(question, text) ? Choice::kYes : Choice::kNo;
  }
  // A notice with "OK", for what the user must see before going on.
  virtual void ShowNotice(const QString& text) = 0;
  // The application's general error box, for failures no command handled.
  virtual void ShowError(const QString& text) = 0;

  // The progress panel: shown over everything, redrawn, hidden.
  virtual void ShowProgress() = 0;
  virtual void UpdateProgress(int current, int total) = 0;
  virtual void HideProgress() = 0;

  // Lets pending window events run, so long work keeps the window live.
  virtual void ProcessEvents() = 0;

  // Stops and restarts repainting of the list views around bulk changes.
  virtual void SuspendViewUpdates(bool suspended) = 0;
};

// One long command's hold on the front end: the progress panel, the cancel
// token that "ANULUJ" (Ctrl+C, a closing window) sets, and the questions it
// asks. The front end makes one for each command and keeps it, to cancel it;
// the panel is hidden however the command ends.
class Progress {
 public:
  explicit Progress(UserInterface& ui) : ui_(ui) {}
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  UserInterface& ui() const { return ui_; }

  // Shows the panel (when it is hidden) at `current` of `total`; window
  // events run, so "ANULUJ" is seen.
  void Update(int current, int total);
  void Hide();

  bool Cancelled() const { return cancelled_; }
  void Cancel() { cancelled_ = true; }
  // For the one step a cancel stops alone, the command going on after it.
  void Resume() { cancelled_ = false; }

  // A question asked with the panel out of the way.
  bool Ask(Question question, const QString& text);
  void ProcessEvents() { ui_.ProcessEvents(); }

 private:
  UserInterface& ui_;
  bool cancelled_ = false;
  bool shown_ = false;
};

// Runs one user command. An exception that escapes it ends the command and is
// shown in the general error box; the application goes on. False when one did.
bool RunCommand(UserInterface& ui, const std::function<void()>& command);

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
