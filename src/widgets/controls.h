#pragma once

#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPixmap>

// The small controls the window is made of: labels and pictures that react to
// the mouse, plain shapes, white cards for the views, and pop-up menus.

// A label (caption or picture) that reports clicks, presses and releases.
class ClickLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ClickLabel(QWidget* parent = nullptr);

 signals:
  void clicked();
  void pressed();
  void released();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// A drop-down list that reports the closing of its list, whether or not the
// choice changed.
class DropDown : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  void hidePopup() override;

 signals:
  void closedUp();
};

// A filled rectangle or circle: the pieces of the progress bar, the
// select-all square. It reports a press of any mouse button.
class ShapeWidget : public QWidget {
  Q_OBJECT
 public:
  enum class Kind { kRectangle, kCircle };
  ShapeWidget(Kind kind, QColor color, QWidget* parent = nullptr);

  Kind kind() const { return kind_; }
  QColor color() const { return color_; }

 signals:
  void pressed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Kind kind_;
  QColor color_;
};

// A white card with a heading strip: every view's left column and right area.
class ViewPanel : public QFrame {
  Q_OBJECT
 public:
  // `heading` may be empty for a card without a strip.
  ViewPanel(const QString& objectName, const QString& heading, const QString& headingName, QWidget* parent);

  QLabel* heading() const { return heading_; }
  static constexpr int kHeadingHeight = 40;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* heading_ = nullptr;
};

// A pop-up menu: rows of captions inside a thin margin. The menu hides itself
// when the pointer moves over that margin (the way out of it), or leaves it
// entirely; moving over the rows keeps it open.
class MenuPanel : public QFrame {
  Q_OBJECT
 public:
  MenuPanel(const QString& objectName, QWidget* parent);

  // Appends an entry row; its caption label is returned for wiring.
  ClickLabel* AddEntry(const QString& objectName, const QString& caption);

  static constexpr int kMargin = 6;
  static constexpr int kRowHeight = 34;
  static constexpr int kWidth = 330;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  int entries_ = 0;
};

class QListWidget;

// The port picker: a header and a list box. Like the menus it hides itself
// when the pointer moves over its own surface; moving over the list does not.
class PickerPanel : public QFrame {
  Q_OBJECT
 public:
  PickerPanel(const QString& objectName, const QString& heading, QWidget* parent);
  QListWidget* list() const { return list_; }

  static constexpr int kWidth = 300;
  static constexpr int kHeight = 190;

 protected:
  void mouseMoveEvent(QMouseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  QListWidget* list_ = nullptr;
};

// A picture with a caption over it that act as one button; returns the
// caption, the picture is a named sibling. `captionTop` is where the caption
// stands inside the picture.
struct PictureButton {
  ClickLabel* picture = nullptr;
  ClickLabel* caption = nullptr;
};
PictureButton MakePictureButton(QWidget* parent, const QString& pictureName, const QString& captionName,
                                const QString& text, const QRect& pictureRect, const QPixmap& pixmap,
                                const QColor& textColor, int captionTop = 7);
