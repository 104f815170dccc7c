#pragma once

#include <QAbstractTableModel>
#include <QStringList>

// A grid's model over a table cursor: its column titles are named (the grids
// show no title row, but the language file translates them), and when the
// table changes the grid is reset for a new row count or only repainted.
class TitledTableModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  TitledTableModel(QStringList titles, QObject* parent);

  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role = Qt::EditRole) override;

  // The table moved or changed: the grid repaints what it shows.
  void Changed();

 protected:
  // Takes the current row count as the one the grid knows.
  void RememberRowCount() { rows_ = rowCount(); }

 private:
  QStringList titles_;
  int rows_ = 0;
};
