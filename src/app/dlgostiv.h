#pragma once

#include <QDialog>

// Kinds of ShowDialog: a notice with "OK", or a question with "TAK"/"NIE".
inline constexpr int kNoticeKind = 0;
inline constexpr int kQuestionKind = 1;

class ClickLabel;
class QLabel;

// The message dialog: a notice with "OK" or a question with "TAK" and "NIE",
// white bold text on the dark picture, no title bar. It takes the keyboard
// when it opens: Enter and Space press the ringed button ("OK" or "TAK"),
// Escape answers "NIE" (and closes a notice).
class Tdlgfm : public QDialog {
  Q_OBJECT
 public:
  Tdlgfm(const QString& text, int kind, QWidget* parent);

  int Result() const { return result_; }

  static constexpr int kWidth = 381;
  static constexpr int kHeight = 139;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Answer(int result);

  bool question_ = false;
  int result_ = 0;
};

// Shows the message modally over `parent` and returns 1 only for "TAK".
int ShowDialog(QWidget* parent, const QString& text, int kind);
