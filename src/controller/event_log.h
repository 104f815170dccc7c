#pragma once

#include "phonelist/titled_model.h"
#include <QString>

class Link;
class Session;
class UserInterface;

inline constexpr const char* kBadCountMessage = "Niepoprawna liczba wpisów do pobrania";

// "POBIERZ WPISY": asks the controller for its last `countText` events and
// listens while every two-second window brings a reply line, then waits for
// the end of the log. A count below 1 is refused before anything is sent.
void FetchEvents(Link& link, UserInterface& ui, const QString& countText);

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
