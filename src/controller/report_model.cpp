#include "controller/report_model.h"

#include "common/windows1250.h"
#include "core/session.h"
#include "store/cursor.h"

ReportModel::ReportModel(Session& session, QObject* parent)
    : TitledTableModel({QStringLiteral("Tel"), QStringLiteral("Data")}, parent), session_(session) {
  RememberRowCount();
}

int ReportModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !session_.DatabaseOpen() ? 0 : session_.Dbf3().RowCount();
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() > 1) return QVariant();
  if (role == kPositionRole) return index.row() + 1;
  if (role != Qt::DisplayRole) return QVariant();
  const char* field = index.column() == 0 ? "Tel" : "Data";
  return FromWindows1250(QByteArray::fromStdString(session_.Dbf3().TextAt(index.row() + 1, field)));
}
