#include "app/progress_panel.h"

#include <QLabel>

#include "widgets/controls.h"
#include "widgets/pictures.h"
#include "app/progress_layout.h"

namespace {

constexpr int kTrackLeft = 76;
constexpr int kTrackTop = 66;
constexpr int kTrackWidth = 247;
constexpr int kTrackHeight = 14;
constexpr int kEndDiameter = 42;

}  // namespace

ProgressPanel::ProgressPanel(QWidget* parent) : QFrame(parent) {
  setObjectName(QStringLiteral("czekaj_na_zapis"));
  resize(kWidth, kHeight);

  auto* background = new QLabel(this);
  background->setObjectName(QStringLiteral("Image26"));
  background->setPixmap(pictures::DialogBackground(size()));
  background->setGeometry(rect());

  auto* text = new QLabel(QString::fromUtf8(kBusyMessage) + QString::fromUtf8("\nProsimy o cierpliwość"), this);
  text->setObjectName(QStringLiteral("Label29"));
  text->setFont(pictures::Font(13, true));
  text->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  text->setAlignment(Qt::AlignCenter);
  text->setWordWrap(true);
  text->setGeometry(20, 10, kWidth - 40, 40);

  s2_ = new ShapeWidget(ShapeWidget::Kind::kRectangle, pictures::kGrey, this);
  s2_->setObjectName(QStringLiteral("s2"));
  s2_->setGeometry(kTrackLeft, kTrackTop, kTrackWidth, kTrackHeight);
  s3_ = new ShapeWidget(ShapeWidget::Kind::kCircle, pictures::kGrey, this);
  s3_->setObjectName(QStringLiteral("s3"));
  s3_->setGeometry(kTrackLeft + kTrackWidth - kTrackHeight / 2, kTrackTop, kTrackHeight, kTrackHeight);
  s2_s_ = new ShapeWidget(ShapeWidget::Kind::kRectangle, pictures::kOrange, this);
  s2_s_->setObjectName(QStringLiteral("s2_s"));
  s2_s_->setGeometry(kTrackLeft, kTrackTop, 0, kTrackHeight);
  s3_s_ = new ShapeWidget(ShapeWidget::Kind::kCircle, pictures::kOrange, this);
  s3_s_->setObjectName(QStringLiteral("s3_s"));
  s3_s_->setGeometry(kTrackLeft - kTrackHeight / 2, kTrackTop, kTrackHeight, kTrackHeight);

  // The round left end sits over the start of the track and carries the
  // percentage.
  s1_ = new ShapeWidget(ShapeWidget::Kind::kCircle, pictures::kOrange, this);
  s1_->setObjectName(QStringLiteral("s1"));
  const QRect end(kTrackLeft - kEndDiameter + 12, kTrackTop + kTrackHeight / 2 - kEndDiameter / 2, kEndDiameter,
                  kEndDiameter);
  s1_->setGeometry(end);
  lbprecent_ = new QLabel(QStringLiteral("50%"), this);
  lbprecent_->setObjectName(QStringLiteral("lbprecent"));
  lbprecent_->setFont(pictures::Font(11, true));
  lbprecent_->setStyleSheet(QStringLiteral("color: rgb(0,42,102); background: transparent;"));
  lbprecent_->setAlignment(Qt::AlignCenter);
  lbprecent_->setGeometry(end);

  lbcount_ = new QLabel(this);
  lbcount_->setObjectName(QStringLiteral("lbcount"));
  lbcount_->setFont(pictures::Font(10, true));
  lbcount_->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  lbcount_->setAlignment(Qt::AlignCenter);
  lbcount_->setGeometry(20, kTrackTop + kTrackHeight + 1, kWidth - 40, 14);

  const PictureButton cancel =
      MakePictureButton(this, "Image27", "Label28", "ANULUJ", QRect((kWidth - 120) / 2, 96, 120, 32),
                        pictures::Button(QSize(120, 32), pictures::ButtonStyle::kAccent), pictures::kNavy, 7);
  connect(cancel.caption, &ClickLabel::clicked, this, &ProgressPanel::cancelClicked);
  connect(cancel.picture, &ClickLabel::clicked, this, &ProgressPanel::cancelClicked);

  hide();
}

void ProgressPanel::UpdateProgress(int current, int total) {
  const QRect track = s2_->geometry();
  const ProgressLayout layout = ComputeProgressLayout(current, total, track.left(), track.width(), s3_s_->width());
  s2_s_->setGeometry(track.left(), track.top(), qMax(0, layout.fillWidth), s2_s_->height());
  s3_s_->move(layout.headLeft, track.top());
  lbprecent_->setText(layout.percent);
  if (!clock_.isValid()) clock_.start();
  lbcount_->setText(CountText(current, total, clock_.elapsed()));
}

void ProgressPanel::showEvent(QShowEvent* event) {
  // Each operation paces itself from its own start.
  clock_.invalidate();
  lbcount_->clear();
  QFrame::showEvent(event);
}

QString ProgressPanel::CountText(int current, int total, qint64 elapsedMs) {
  // Some counts run past their nominal total (a read that goes on past the
  // slots it expected): the count alone is then what is true.
  if (total <= 0 || current > total) return QString::number(qMax(0, current));
  QString text = QStringLiteral("%1 z %2").arg(current).arg(total);
  // A pace from the first second or the first few steps says little.
  constexpr qint64 kSettledMs = 2000;
  if (current < 3 || current >= total || elapsedMs < kSettledMs) return text;
  const qint64 leftMs = elapsedMs * (total - current) / current;
  const qint64 seconds = (leftMs + 999) / 1000;
  if (seconds < 60) {
    // In fives: a figure that jumps by the second reads as noise.
    text += QString::fromUtf8(" · zostało ok. %1 s").arg(qMax<qint64>(5, (seconds + 4) / 5 * 5));
  } else {
    text += QString::fromUtf8(" · zostało ok. %1 min").arg((seconds + 30) / 60);
  }
  return text;
}
