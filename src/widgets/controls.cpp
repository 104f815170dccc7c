#include "widgets/controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "widgets/pictures.h"

#include <QListWidget>

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) {}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit pressed();
  QLabel::mousePressEvent(event);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    emit released();
    // A click is a release over the control that was pressed.
    if (rect().contains(event->position().toPoint())) emit clicked();
  }
  QLabel::mouseReleaseEvent(event);
}

void DropDown::hidePopup() {
  // Qt also calls this when the drop-down itself is hidden (a view switch);
  // only the closing of an open list counts.
  const bool wasOpen = view() && view()->isVisible();
  QComboBox::hidePopup();
  if (wasOpen) emit closedUp();
}

ShapeWidget::ShapeWidget(Kind kind, QColor color, QWidget* parent) : QWidget(parent), kind_(kind), color_(color) {}

void ShapeWidget::mousePressEvent(QMouseEvent* event) {
  emit pressed();
  QWidget::mousePressEvent(event);
}

void ShapeWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(color_);
  if (kind_ == Kind::kCircle) {
    p.drawEllipse(QRectF(rect()));
  } else {
    p.drawRect(rect());
  }
}

ViewPanel::ViewPanel(const QString& objectName, const QString& heading, const QString& headingName, QWidget* parent)
    : QFrame(parent) {
  setObjectName(objectName);
  if (!heading.isEmpty()) {
    heading_ = new QLabel(heading, this);
    heading_->setObjectName(headingName);
    heading_->setFont(pictures::Font(14, true));
    heading_->setStyleSheet(QStringLiteral("color: rgb(1,81,178); background: transparent;"));
  }
}

void ViewPanel::resizeEvent(QResizeEvent* event) {
  if (heading_) heading_->setGeometry(18, 0, width() - 36, kHeadingHeight);
  QFrame::resizeEvent(event);
}

void ViewPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF card = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -1.5);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 18));
  p.drawRoundedRect(card.translated(0, 1.5), 7, 7);
  p.setBrush(Qt::white);
  p.setPen(QPen(pictures::kLine, 1));
  p.drawRoundedRect(card, 7, 7);
  if (heading_) {
    QPainterPath clip;
    clip.addRoundedRect(card, 7, 7);
    p.setClipPath(clip);
    p.fillRect(QRectF(card.left(), card.top(), card.width(), kHeadingHeight), pictures::kPaper);
    p.setClipping(false);
    p.setPen(QPen(pictures::kLine, 1));
    p.drawLine(QPointF(card.left(), kHeadingHeight + 0.5), QPointF(card.right(), kHeadingHeight + 0.5));
    p.fillRect(QRectF(18, kHeadingHeight - 2, 36, 3), pictures::kOrange);
  }
}

MenuPanel::MenuPanel(const QString& objectName, QWidget* parent) : QFrame(parent) {
  setObjectName(objectName);
  setMouseTracking(true);
  resize(kWidth, 2 * kMargin);
  hide();
}

ClickLabel* MenuPanel::AddEntry(const QString& objectName, const QString& caption) {
  auto* entry = new ClickLabel(this);
  entry->setObjectName(objectName);
  entry->setText(caption);
  entry->setFont(pictures::Font(12, true));
  entry->setAttribute(Qt::WA_Hover);
  entry->setCursor(Qt::PointingHandCursor);
  entry->setStyleSheet(QStringLiteral(
      "QLabel { color: rgb(1,81,178); background: white; padding-left: 16px;"
      " border-bottom: 1px solid rgb(238,238,238); }"
      "QLabel:hover { background: rgb(255,246,217); color: rgb(0,42,102); border-left: 3px solid rgb(250,192,23);"
      " padding-left: 13px; }"));
  entry->setGeometry(kMargin, kMargin + entries_ * kRowHeight, kWidth - 2 * kMargin, kRowHeight);
  ++entries_;
  resize(kWidth, 2 * kMargin + entries_ * kRowHeight);
  return entry;
}

void MenuPanel::mouseMoveEvent(QMouseEvent* event) {
  // Moves over an entry row reach this panel too (the rows do not track the
  // mouse); only a move over the panel's own margin closes it.
  if (!childAt(event->position().toPoint())) hide();
  QFrame::mouseMoveEvent(event);
}

void MenuPanel::leaveEvent(QEvent* event) {
  // A quick flick can leave without a move over the margin being seen.
  hide();
  QFrame::leaveEvent(event);
}

void MenuPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), pictures::kPaper);
  p.setPen(QPen(pictures::kText, 1));
  p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  p.fillRect(QRect(0, 0, width(), 3), pictures::kOrange);
}

PickerPanel::PickerPanel(const QString& objectName, const QString& heading, QWidget* parent) : QFrame(parent) {
  setObjectName(objectName);
  setMouseTracking(true);
  resize(kWidth, kHeight);
  auto* title = new QLabel(heading, this);
  title->setObjectName(objectName + QStringLiteral("_heading"));
  title->setFont(pictures::Font(12, true));
  title->setStyleSheet(QStringLiteral("color: rgb(1,81,178); background: transparent;"));
  title->setGeometry(12, 8, kWidth - 24, 24);
  title->setAttribute(Qt::WA_TransparentForMouseEvents);
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("ListBox1"));
  list_->setFont(pictures::Font(12));
  list_->setGeometry(12, 36, kWidth - 24, kHeight - 48);
  list_->setStyleSheet(QStringLiteral(
      "QListWidget { border: 1px solid rgb(196,206,222); color: rgb(1,81,178); background: white; }"
      "QListWidget::item { padding: 4px; }"
      "QListWidget::item:hover { background: rgb(255,246,217); }"));
  hide();
}

void PickerPanel::mouseMoveEvent(QMouseEvent* event) {
  if (!list_->geometry().contains(event->position().toPoint())) hide();
  QFrame::mouseMoveEvent(event);
}

void PickerPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), pictures::kPaper);
  p.setPen(QPen(pictures::kText, 1));
  p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  p.fillRect(QRect(0, 0, width(), 3), pictures::kOrange);
}

PictureButton MakePictureButton(QWidget* parent, const QString& pictureName, const QString& captionName,
                                const QString& text, const QRect& pictureRect, const QPixmap& pixmap,
                                const QColor& textColor, int captionTop) {
  PictureButton button;
  button.picture = new ClickLabel(parent);
  button.picture->setObjectName(pictureName);
  button.picture->setPixmap(pixmap);
  button.picture->setGeometry(pictureRect);
  button.picture->setCursor(Qt::PointingHandCursor);

  button.caption = new ClickLabel(parent);
  button.caption->setObjectName(captionName);
  button.caption->setText(text);
  button.caption->setFont(pictures::Font(12, true));
  button.caption->setAlignment(Qt::AlignCenter);
  button.caption->setStyleSheet(QStringLiteral("color: %1; background: transparent;").arg(textColor.name()));
  button.caption->setGeometry(pictureRect.left(), pictureRect.top() + captionTop, pictureRect.width(),
                              pictureRect.height() - 2 * captionTop);
  button.caption->setCursor(Qt::PointingHandCursor);
  return button;
}
