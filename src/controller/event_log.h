#pragma once

#include <QAbstractTableModel>
#include <QString>

class Session;
class UserInterface;

inline constexpr const char* kBadCountMessage = "Niepoprawna liczba wpisów do pobrania";

// "POBIERZ WPISY": asks the controller for its last `countText` events and
// listens while every two-second window brings a reply line, then waits for
// the end of the log. A count below 1 is refused before anything is sent.
void FetchEvents(Session& session, UserInterface& ui, const QString& countText);

// The event log table as the report grid shows it: `Tel` and `Data` in
// table order, read from the cursor only for the rows painted.
class ReportModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Role { kPositionRole = Qt::UserRole + 1 };

  explicit ReportModel(Session& session, QObject* parent = nullptr);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                     int role = Qt::EditRole) override;
  // The table changed: the grid repaints what it shows.
  void Changed();

 private:
  Session& session_;
  int rows_ = 0;
  QString titles_[2] = {QStringLiteral("Tel"), QStringLiteral("Data")};
};
