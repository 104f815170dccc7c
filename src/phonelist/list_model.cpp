#include "phonelist/list_model.h"

#include "core/session.h"
#include "phonelist/marks.h"
#include "common/windows1250.h"
#include "store/cursor.h"

namespace {

const char* const kFields[PhoneListModel::kColumnCount] = {"Tel", "Imie", "Nazwisko", "Tel"};

}  // namespace

PhoneListModel::PhoneListModel(Session& session, const Marks& marks, QObject* parent)
    : TitledTableModel(
          {QStringLiteral("check"), QStringLiteral("IMIE"), QStringLiteral("NAZWISKO"), QStringLiteral("TEL")}, parent),
      session_(session),
      marks_(marks) {
  RememberRowCount();
}

int PhoneListModel::StoredRows() const {
  return session_.listState() == ListState::kClosed ? 0 : session_.Dbf1().RowCount();
}

int PhoneListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return StoredRows() + (session_.listState() == ListState::kInsert ? 1 : 0);
}

bool PhoneListModel::IsPendingRow(int row) const {
  return session_.listState() == ListState::kInsert && row == StoredRows();
}

int PhoneListModel::CurrentRow() const {
  if (session_.listState() == ListState::kInsert) return StoredRows();
  if (StoredRows() == 0) return -1;
  return session_.Dbf1().Position() - 1;
}

QVariant PhoneListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) return QVariant();
  const store::Cursor& list = session_.Dbf1();
  const int row = index.row();
  // The row being typed shows what has been typed so far.
  const bool pending = row == CurrentRow() && session_.listState() != ListState::kBrowse;
  auto text = [&](const char* field) { return pending ? list.Text(field) : list.TextAt(row + 1, field); };
  switch (role) {
    case Qt::DisplayRole:
      if (index.column() == kCheckColumn) return QVariant();
      return FromWindows1250(QByteArray::fromStdString(text(kFields[index.column()])));
    case kCheckRole: return marks_.Contains(text("Tel"));
    case kConfirmedRole: return (pending ? list.Int("ST") : list.IntAt(row + 1, "ST")) > 0;
    case kCurrentRole: return row == CurrentRow();
    case kPositionRole: return row + 1;
    default: return QVariant();
  }
}
