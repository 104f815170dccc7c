#pragma once

#include <QDialog>
#include <vector>

// Kinds of ShowDialog: a notice with "OK"; a question with "TAK" and "NIE",
// "TAK" ringed, or "NIE" ringed for one whose "TAK" destroys something; the
// closing question with "TAK", "NIE" and "ANULUJ".
inline constexpr int kNoticeKind = 0;
inline constexpr int kQuestionKind = 1;
inline constexpr int kCautiousQuestionKind = 2;
inline constexpr int kCloseQuestionKind = 3;

// What ShowDialog returns: 1 for "TAK", 0 for "NIE" and a notice's "OK",
// kCancelAnswer for "ANULUJ".
inline constexpr int kCancelAnswer = 2;

class ClickLabel;
class QFrame;
class QLabel;

// The message dialog: white bold text on the dark picture, no title bar. It
// takes the keyboard when it opens. A ring marks the button the keyboard
// presses; Tab, the arrow keys and the underlined letters (T, N, A) move it,
// Enter and Space press it. Escape answers "NIE" (and closes a notice);
// on the closing question it is "ANULUJ".
class Tdlgfm : public QDialog {
  Q_OBJECT
 public:
  Tdlgfm(const QString& text, int kind, QWidget* parent);

  int Result() const { return result_; }
  // The answer the ringed button gives.
  int Focused() const { return buttons_.empty() ? 0 : buttons_[size_t(focus_)].answer; }

  static constexpr int kWidth = 381;
  static constexpr int kHeight = 139;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  struct Button {
    ClickLabel* picture;
    int answer;
    QChar letter;
  };
  void Answer(int result);
  void MoveRing(int index);

  std::vector<Button> buttons_;
  int focus_ = 0;
  int escape_ = 0;
  QFrame* ring_ = nullptr;
  int result_ = 0;
};

// Shows the message modally over `parent` and returns the answer.
int ShowDialog(QWidget* parent, const QString& text, int kind);
