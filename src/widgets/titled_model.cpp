#include "widgets/titled_model.h"

TitledTableModel::TitledTableModel(QStringList titles, QObject* parent)
    : QAbstractTableModel(parent), titles_(std::move(titles)) {}

int TitledTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(titles_.size());
}

QVariant TitledTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= titles_.size()) return QVariant();
  if (role != Qt::DisplayRole && role != Qt::EditRole) return QVariant();
  return titles_[section];
}

bool TitledTableModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role) {
  if (orientation != Qt::Horizontal || section < 0 || section >= titles_.size()) return false;
  if (role != Qt::DisplayRole && role != Qt::EditRole) return false;
  titles_[section] = value.toString();
  emit headerDataChanged(orientation, section, section);
  return true;
}

void TitledTableModel::Changed() {
  const int rows = rowCount();
  if (rows != rows_) {
    beginResetModel();
    rows_ = rows;
    endResetModel();
  } else if (rows > 0) {
    emit dataChanged(index(0, 0), index(rows - 1, columnCount() - 1));
  }
}
