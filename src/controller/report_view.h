#pragma once

#include <QStyledItemDelegate>

// The report grid's cells: shaded by record number, blue 8-point text.
class ReportGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
