#pragma once

#include <QDialog>

class ClickLabel;
class QLabel;

// The message dialog: a notice with "OK" or a question with "TAK" and "NIE",
// white bold text on the dark picture, no title bar.
class Tdlgfm : public QDialog {
  Q_OBJECT
 public:
  Tdlgfm(const QString& text, int kind, QWidget* parent);

  int Result() const { return result_; }

  static constexpr int kWidth = 381;
  static constexpr int kHeight = 139;

 private:
  void Answer(int result);

  int result_ = 0;
};

// Shows the message modally over `parent` and returns 1 only for "TAK".
int ShowDialog(QWidget* parent, const QString& text, int kind);
