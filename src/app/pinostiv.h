#pragma once

#include <QDialog>
#include <optional>

class QLabel;
class QLineEdit;

// The PIN dialog of the access lock. There is no cancel: whatever `Edit1`
// holds when Enter or "AKCEPTUJ" closes it is the answer; closed from
// outside (the window manager) with the box empty, it gives none.
class Tpinfm : public QDialog {
  Q_OBJECT
 public:
  explicit Tpinfm(QWidget* owner);

  QString Text() const;

  static constexpr int kWidth = 378;
  static constexpr int kHeight = 138;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QLineEdit* edit_ = nullptr;
};

// Asks for a PIN modally over `owner` and returns what was typed, or
// nullopt for a dialog closed from outside with nothing typed.
std::optional<QString> AskPin(QWidget* owner);

// "HASŁO DOSTĘPU": the new PIN typed twice. Enter in the first box moves to
// the second, Enter there or "ZMIEŃ PIN" takes it when both boxes match (a
// mismatch is said in the dialog, and both boxes start again); Escape or
// "ANULUJ" leave without a PIN.
class TpinChange : public QDialog {
  Q_OBJECT
 public:
  explicit TpinChange(QWidget* owner);

  // The PIN both boxes held when the dialog was accepted.
  QString Text() const;

  static constexpr int kWidth = 378;
  static constexpr int kHeight = 200;
  static constexpr const char* kMismatch = "Podane numery PIN różnią się. Wpisz nowy PIN ponownie.";

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Take();

  QLineEdit* first_ = nullptr;
  QLineEdit* second_ = nullptr;
  QLabel* message_ = nullptr;
};

// Asks for a new PIN twice over `owner`; nothing when the user left.
std::optional<QString> AskNewPin(QWidget* owner);
