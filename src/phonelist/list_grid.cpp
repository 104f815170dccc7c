#include "phonelist/list_grid.h"

#include <QPainter>
#include <QPainterPath>

#include "phonelist/list_model.h"
#include "widgets/view_parts.h"

void DrawPhoneCell(QPainter& painter, const QRect& rect, const PhoneCell& cell) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  const QColor background = cell.current ? kCurrentRowColour : GridRowColour(cell.position);
  const bool unconfirmed = cell.column == PhoneListModel::kTelColumn && !cell.confirmed;
  const QColor text = unconfirmed ? kUnconfirmedColour : kPhoneTextColour;
  painter.fillRect(rect, background);

  const int left = rect.left();
  const int top = rect.top();
  if (cell.column == PhoneListModel::kCheckColumn) {
    painter.setPen(QPen(kPhoneTextColour, 1));
    const QPoint square[] = {
        {left + 13, top + 8}, {left + 25, top + 8}, {left + 25, top + 20}, {left + 13, top + 20}, {left + 13, top + 8}};
    painter.drawPolyline(square, 5);
    if (cell.check) {
      painter.setPen(QPen(kTickColour, 2));
      const QPoint tick[] = {{left + 16, top + 14}, {left + 19, top + 17}, {left + 22, top + 11}};
      painter.drawPolyline(tick, 3);
    }
  } else {
    DrawCellText(painter, rect, text, cell.text);
  }
  painter.restore();
}

void PhoneGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  PhoneCell cell;
  cell.column = index.column();
  cell.position = index.data(PhoneListModel::kPositionRole).toInt();
  cell.current = index.data(PhoneListModel::kCurrentRole).toBool();
  cell.confirmed = index.data(PhoneListModel::kConfirmedRole).toBool();
  // Only the mark column needs the marks looked up.
  cell.check = cell.column == PhoneListModel::kCheckColumn && index.data(PhoneListModel::kCheckRole).toBool();
  if (cell.column != PhoneListModel::kCheckColumn) cell.text = index.data(Qt::DisplayRole).toString();
  DrawPhoneCell(*painter, option.rect, cell);
}
