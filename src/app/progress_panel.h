#pragma once

#include <QElapsedTimer>
#include <QFrame>

// The panel's first line, and what a command started while another runs is told.
inline constexpr const char* kBusyMessage = "Trwa przetwarzanie danych";

class ClickLabel;
class QLabel;
class ShapeWidget;

// The progress panel shown over the window while a long operation runs: an
// orange bar on a grey track, the percentage, how far it is ("1234 z 1999")
// and, once the pace is known, about how long is left; and "ANULUJ".
class ProgressPanel : public QFrame {
  Q_OBJECT
 public:
  explicit ProgressPanel(QWidget* parent);

  // Redraws the bar for `current` of `total`; the caller lets events run.
  void UpdateProgress(int current, int total);

  static constexpr int kWidth = 385;
  static constexpr int kHeight = 137;

  ShapeWidget* track() const { return s2_; }
  ShapeWidget* fill() const { return s2_s_; }
  ShapeWidget* head() const { return s3_s_; }
  QLabel* percent() const { return lbprecent_; }
  QLabel* count() const { return lbcount_; }

  // "1234 z 1999", and "zostało ok. 40 s" once `elapsedMs` of work on
  // `current` of `total` steps gives a pace worth telling.
  static QString CountText(int current, int total, qint64 elapsedMs);

 protected:
  void showEvent(QShowEvent* event) override;

 signals:
  // "ANULUJ" was pressed.
  void cancelClicked();

 private:
  ShapeWidget* s1_ = nullptr;
  ShapeWidget* s2_ = nullptr;
  ShapeWidget* s3_ = nullptr;
  ShapeWidget* s2_s_ = nullptr;
  ShapeWidget* s3_s_ = nullptr;
  QLabel* lbprecent_ = nullptr;
  QLabel* lbcount_ = nullptr;
  QElapsedTimer clock_;
};
