#include "widgets/controls.h"

#include <QScreen>

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <QApplication>
#include <QCalendarWidget>
#include <QToolButton>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QListWidget>

#include "widgets/pictures.h"

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

QRect DropButtonRect(const QRect& field) {
  return QRect(field.right() - kDropButtonWidth, field.top() + 1, kDropButtonWidth, field.height() - 2);
}

void DrawDropButton(QPainter& painter, const QRect& field) {
  const QRect button = DropButtonRect(field);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(236, 241, 248));
  painter.drawRoundedRect(QRectF(button).adjusted(0, 0, -1, 0), 3, 3);
  painter.setPen(QPen(QColor(196, 206, 222), 1));
  painter.drawLine(QPointF(button.left() + 0.5, button.top() + 4), QPointF(button.left() + 0.5, button.bottom() - 3));
  painter.setPen(QPen(pictures::kText, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const QPointF c = QRectF(button).center();
  const QPointF chevron[] = {{c.x() - 4.5, c.y() - 2}, {c.x(), c.y() + 2.5}, {c.x() + 4.5, c.y() - 2}};
  painter.drawPolyline(chevron, 3);
  painter.restore();
}

void DropDown::paintEvent(QPaintEvent* event) {
  QComboBox::paintEvent(event);
  QPainter painter(this);
  DrawDropButton(painter, rect());
}

DateField::DateField(const QDate& date, QWidget* parent) : QDateEdit(date, parent) {
  setCalendarPopup(true);
  const QLocale polish(QLocale::Polish, QLocale::Poland);
  setLocale(polish);
  QCalendarWidget* calendar = calendarWidget();
  calendar->setLocale(polish);
  calendar->setFirstDayOfWeek(Qt::Monday);
  calendar->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
  calendar->setHorizontalHeaderFormat(QCalendarWidget::ShortDayNames);
  calendar->setGridVisible(false);
  calendar->setFont(pictures::Font(12));
  // Six week rows, the header and the names of the days, each fully shown.
  calendar->setMinimumSize(280, 220);
  // The month's menu arrow is drawn over the end of a long name ("grudzień")
  // unless the button leaves it room.
  if (auto* month = calendar->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"))) {
    month->setStyleSheet(QStringLiteral("QToolButton { padding-right: 14px; }"));
  }
  calendar->window()->installEventFilter(this);
}

bool DateField::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && watched == calendarWidget()->window()) {
    auto* popup = static_cast<QWidget*>(watched);
    const QRect bounds(window()->mapToGlobal(QPoint(0, 0)), window()->size());
    const QRect anchor(mapToGlobal(QPoint(0, 0)), size());
    popup->setGeometry(FitPopup(bounds, anchor, popup->pos(), popup->size()));
  }
  return QDateEdit::eventFilter(watched, event);
}

void DateField::paintEvent(QPaintEvent* event) {
  QDateEdit::paintEvent(event);
  QPainter painter(this);
  DrawDropButton(painter, rect());
}

QRect FitPopup(const QRect& bounds, const QRect& anchor, QPoint wanted, QSize size) {
  QRect popup(wanted, size);
  if (popup.bottom() > bounds.bottom() && anchor.top() - size.height() >= bounds.top()) {
    popup.moveBottom(anchor.top() - 1);
  }
  if (popup.right() > bounds.right()) popup.moveRight(bounds.right());
  if (popup.left() < bounds.left()) popup.moveLeft(bounds.left());
  if (popup.bottom() > bounds.bottom()) popup.moveBottom(bounds.bottom());
  if (popup.top() < bounds.top()) popup.moveTop(bounds.top());
  return popup;
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
  if (check_ == Check::kNone) return;
  p.setPen(QPen(pictures::kNavy, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const QRectF r = QRectF(rect()).adjusted(2.5, 2.5, -2.5, -2.5);
  if (check_ == Check::kSome) {
    p.drawLine(QPointF(r.left(), r.center().y()), QPointF(r.right(), r.center().y()));
  } else {
    const QPointF tick[] = {{r.left(), r.center().y()}, {r.left() + r.width() * 0.4, r.bottom()}, {r.right(), r.top()}};
    p.drawPolyline(tick, 3);
  }
}

void ShapeWidget::SetCheck(Check check) {
  if (check == check_) return;
  check_ = check;
  update();
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

PopupPanel::PopupPanel(QWidget* parent) : QFrame(parent) {}

PopupPanel::~PopupPanel() {
  if (qApp) qApp->removeEventFilter(this);
}

void PopupPanel::AddOpener(QWidget* opener) { openers_.append(opener); }

void PopupPanel::showEvent(QShowEvent* event) {
  // Watching the whole application only while open costs nothing the rest
  // of the time. Installing twice keeps one filter; removing none is harmless.
  qApp->installEventFilter(this);
  QFrame::showEvent(event);
}

void PopupPanel::hideEvent(QHideEvent* event) {
  qApp->removeEventFilter(this);
  QFrame::hideEvent(event);
}

bool PopupPanel::Inside(QPoint global) const {
  // By place, not by the widget that got the press: a press a widget leaves
  // unhandled travels on to its parents, the window at last.
  if (QRect(mapToGlobal(QPoint(0, 0)), size()).contains(global)) return true;
  for (const QWidget* opener : openers_) {
    if (opener->isVisible() && QRect(opener->mapToGlobal(QPoint(0, 0)), opener->size()).contains(global)) return true;
  }
  return false;
}

bool PopupPanel::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType() || !isVisible()) return false;
  auto* widget = static_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      // The press goes on to whatever it hit: a tab, a box, a button.
      if (!Inside(static_cast<QMouseEvent*>(event)->globalPosition().toPoint())) hide();
      break;
    case QEvent::KeyPress:
      // Only keys typed in this window; a dialog over it keeps its Escape.
      if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && widget->window() == window()) {
        hide();
        return true;
      }
      break;
    default: break;
  }
  return false;
}

MenuPanel::MenuPanel(const QString& objectName, QWidget* parent) : PopupPanel(parent) {
  setObjectName(objectName);
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

void MenuPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), pictures::kPaper);
  p.setPen(QPen(pictures::kText, 1));
  p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  p.fillRect(QRect(0, 0, width(), 3), pictures::kOrange);
}

PickerPanel::PickerPanel(const QString& objectName, const QString& heading, QWidget* parent) : PopupPanel(parent) {
  setObjectName(objectName);
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
  list_->setStyleSheet(
      QStringLiteral("QListWidget { border: 1px solid rgb(196,206,222); color: rgb(1,81,178); background: white; }"
                     "QListWidget::item { padding: 4px; }"
                     "QListWidget::item:hover { background: rgb(255,246,217); }"));
  hide();
}

void PickerPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), pictures::kPaper);
  p.setPen(QPen(pictures::kText, 1));
  p.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
  p.fillRect(QRect(0, 0, width(), 3), pictures::kOrange);
}

void CentreOver(QWidget* dialog, QWidget* owner) {
  const QRect over = owner ? owner->window()->geometry() : dialog->screen()->availableGeometry();
  dialog->move(over.center() - QPoint(dialog->width() / 2, dialog->height() / 2));
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
