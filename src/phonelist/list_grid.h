#pragma once

#include <QColor>
#include <QStyledItemDelegate>

// Everything the phone grid shows of one cell.
struct PhoneCell {
  int column = 0;        // 0 is the mark column
  int position = 1;      // 1-based position of the row in the list's order
  bool current = false;  // the list's current row
  bool confirmed = false;
  bool check = false;
  QString text;
};

// The grid's colours. Text and tick keep a contrast of at least 4.5 to 1
// against every row colour, the current row's included.
inline const QColor kPhoneTextColour(1, 81, 178);
inline const QColor kUnconfirmedColour(210, 0, 0);
inline const QColor kCurrentRowColour(255, 233, 168);
inline const QColor kTickColour(0, 42, 102);

// Paints one cell of the phone grid: shaded rows, the current row in amber,
// numbers the controller has not confirmed in red, the mark square with its
// tick.
void DrawPhoneCell(QPainter& painter, const QRect& rect, const PhoneCell& cell);

// Draws every cell of the phone grid with DrawPhoneCell, from the roles of
// the phone list model.
class PhoneGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
