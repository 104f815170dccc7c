#pragma once

#include <QColor>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QList>
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

// The button part at the right of a drop-down or date field: a shaded box
// with a downward chevron, so the field shows that it opens.
inline constexpr int kDropButtonWidth = 24;
QRect DropButtonRect(const QRect& field);
void DrawDropButton(QPainter& painter, const QRect& field);

// A drop-down list that reports the closing of its list, whether or not the
// choice changed. It draws its own button (the window's style sheet leaves
// none).
class DropDown : public QComboBox {
  Q_OBJECT
 public:
  using QComboBox::QComboBox;
  void hidePopup() override;

 signals:
  void closedUp();

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A date field with its calendar behind a visible button. The calendar
// names days and months in Polish and opens inside the field's window,
// beside or above the field when there is no room below it.
class DateField : public QDateEdit {
  Q_OBJECT
 public:
  explicit DateField(const QDate& date, QWidget* parent = nullptr);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

// Where a popup of `size` goes when it would open at `wanted`: moved the
// least that keeps it inside `bounds`, and above `anchor` (the field it
// belongs to) when it would run out at the bottom.
QRect FitPopup(const QRect& bounds, const QRect& anchor, QPoint wanted, QSize size);

// A filled rectangle or circle: the pieces of the progress bar, the
// select-all square. It reports a press of any mouse button.
class ShapeWidget : public QWidget {
  Q_OBJECT
 public:
  enum class Kind { kRectangle, kCircle };
  ShapeWidget(Kind kind, QColor color, QWidget* parent = nullptr);

  Kind kind() const { return kind_; }
  QColor color() const { return color_; }

  // What a square drawn as a check box shows inside: nothing, a dash (some
  // rows marked) or a tick (every row marked).
  enum class Check { kNone, kSome, kAll };
  void SetCheck(Check check);
  Check check() const { return check_; }

 signals:
  void pressed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  Kind kind_;
  QColor color_;
  Check check_ = Check::kNone;
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

// A panel that floats over the window until the user is done with it: it
// stays open wherever the pointer travels, and closes on a press anywhere
// outside it (its openers excepted, so the press that opened it does not
// close it again) or on Escape.
class PopupPanel : public QFrame {
  Q_OBJECT
 public:
  explicit PopupPanel(QWidget* parent);
  ~PopupPanel() override;

  // A control whose press belongs to the popup: the arrow or button that
  // opens it.
  void AddOpener(QWidget* opener);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  bool Inside(QPoint global) const;

  QList<const QWidget*> openers_;
};

// A pop-up menu: rows of captions inside a thin margin.
class MenuPanel : public PopupPanel {
  Q_OBJECT
 public:
  MenuPanel(const QString& objectName, QWidget* parent);

  // Appends an entry row; its caption label is returned for wiring.
  ClickLabel* AddEntry(const QString& objectName, const QString& caption);

  static constexpr int kMargin = 6;
  static constexpr int kRowHeight = 34;
  static constexpr int kWidth = 330;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int entries_ = 0;
};

class QListWidget;

// The port picker: a header and a list box.
class PickerPanel : public PopupPanel {
  Q_OBJECT
 public:
  PickerPanel(const QString& objectName, const QString& heading, QWidget* parent);
  QListWidget* list() const { return list_; }

  static constexpr int kWidth = 300;
  static constexpr int kHeight = 190;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QListWidget* list_ = nullptr;
};

// Places a dialog at the centre of its owner's window (of the screen without one).
void CentreOver(QWidget* dialog, QWidget* owner);

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
