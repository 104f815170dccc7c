#pragma once

#include <QDialog>

class QLineEdit;

// The PIN dialog of the access lock. There is no cancel: whatever `Edit1`
// holds when it closes is the answer.
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

// Asks for a PIN modally over `owner` and returns what was typed.
QString AskPin(QWidget* owner);
