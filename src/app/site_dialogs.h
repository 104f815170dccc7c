#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <vector>

#include "controller/fleet.h"

class QTableWidget;

// What the "add a site" dialog gives: the name as typed, notes, and whether
// the current site's port, relay time and admin phone are to be copied.
struct SiteDraft {
  QString name;
  QString notes;
  bool copySettings = false;
};

// Asks for a new site beside the ones under `mainDirectory`; the button
// stays off while the name is refused, and says why. Nothing when the user
// leaves.
std::optional<SiteDraft> AskNewSite(QWidget* parent, const QString& mainDirectory, const QString& currentName);
// Asks for a site's new name, the old one offered; nothing when the user
// leaves or keeps it.
std::optional<QString> AskSiteName(QWidget* parent, const QString& mainDirectory, const QString& name);

// Every site at a glance: the rows needing a look are highlighted, their
// reasons in the row's tooltip; a damaged site is red with its error. A
// double click or "PRZEJDŹ DO OBIEKTU" picks the site to work on.
class FleetDialog : public QDialog {
  Q_OBJECT

 public:
  FleetDialog(const std::vector<FleetRow>& rows, const QString& currentName, QWidget* parent = nullptr);

  // The site picked, or an empty text.
  QString chosen() const { return chosen_; }
  QTableWidget* table() const { return table_; }

 private:
  QTableWidget* table_;
  QString chosen_;
};
