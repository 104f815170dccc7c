#pragma once

#include <QStyledItemDelegate>
#include <functional>

// The report grid's cells: shaded by record number, blue 8-point text.
class ReportGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class Link;
class QLineEdit;
class QTableView;
class ReportModel;
class Session;
class UserInterface;
class ViewPanel;

// The "RAPORT" view: how many entries to fetch, "POBIERZ WPISY", the memo
// and the report grid over `raporty`.
class ReportView : public QObject {
  Q_OBJECT
 public:
  ReportView(ViewPanel* left, ViewPanel* right, QObject* parent = nullptr);

  // Puts the table behind the grid once the database is open.
  void ConnectReportGrid(Session& session);
  // Runs a command as the window runs every controller command (one at a
  // time).
  using CommandRunner = std::function<void(const std::function<void()>& command)>;
  // "POBIERZ WPISY" runs the fetch over `link` through `run`, telling `ui`.
  void SetCommandTarget(Link& link, UserInterface& ui, CommandRunner run);
  void pobierz_wpisyClick();

  QTableView* grid() const { return RxDBGrid2_; }

 private:
  QLineEdit* edilpob_ = nullptr;
  QTableView* RxDBGrid2_ = nullptr;
  ReportModel* reportModel_ = nullptr;
  Link* link_ = nullptr;
  UserInterface* ui_ = nullptr;
  CommandRunner run_;
};
