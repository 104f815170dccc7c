#pragma once

#include "widgets/titled_model.h"

class Marks;
class Session;

// The phone list as the grid sees it: one row per stored row in the cursor's
// current order, plus the new row while one is being added. Rows are read
// only when the grid asks for them, so the marks are looked up for the rows
// that are painted and no others.
class PhoneListModel : public TitledTableModel {
  Q_OBJECT
 public:
  enum Column { kCheckColumn = 0, kImieColumn, kNazwiskoColumn, kTelColumn, kColumnCount };
  enum Role {
    kCheckRole = Qt::UserRole + 1,  // bool: the row's number is marked
    kConfirmedRole,                 // bool: ST above 0
    kCurrentRole,                   // bool: the cursor's current row
    kPositionRole,                  // int: 1-based position in the current order
  };

  PhoneListModel(Session& session, const Marks& marks, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // The model row of the cursor's current row (the new row while one is
  // pending); -1 when the list is empty or closed.
  int CurrentRow() const;
  // Whether a model row is the new row that is not stored yet.
  bool IsPendingRow(int row) const;

 private:
  int StoredRows() const;

  Session& session_;
  const Marks& marks_;
};
