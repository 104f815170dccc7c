#include "controller/report_view.h"

#include <QPainter>

#include "controller/event_log.h"
#include "phonelist/list_view.h"

void ReportGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  painter->save();
  painter->fillRect(option.rect, GridRowColour(index.data(ReportModel::kPositionRole).toInt()));
  DrawCellText(*painter, option.rect, QColor(1, 81, 178), index.data(Qt::DisplayRole).toString());
  painter->restore();
}
