#pragma once

#include "widgets/titled_model.h"

class Session;

// The event log table as the report grid shows it: `Tel` and `Data` in
// table order, read from the cursor only for the rows painted.
class ReportModel : public TitledTableModel {
  Q_OBJECT
 public:
  enum Role { kPositionRole = Qt::UserRole + 1 };

  explicit ReportModel(Session& session, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 private:
  Session& session_;
};
