#pragma once

#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <functional>

// An event time as a Polish reader reads it: the controller's
// "yy/mm/dd hh:mm" (26/12/24 07:45) becomes "24.12.2026 07:45". Any other
// text is shown as it stands, so nothing the controller sent is hidden.
QString ReportDateText(const QString& stored);

// The report grid's cells: shaded by position, blue 8-point text, the event
// time in the Polish order.
class ReportGridDelegate : public QStyledItemDelegate {
  Q_OBJECT
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

// The report's rows newest first: by the stored event time (its fixed-width
// "yy/mm/dd hh:mm" sorts as time does), equal times by the later record
// first. The stored texts pass through unchanged.
class ReportOrder : public QSortFilterProxyModel {
  Q_OBJECT
 public:
  explicit ReportOrder(QObject* parent = nullptr);
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

 protected:
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

struct EventsResult;
class Link;
class Progress;
class QLabel;
class QLineEdit;
class QTableView;
class ReportModel;
class Session;
class UserInterface;
class ViewPanel;

// The "RAPORT" view: how many entries to fetch, "POBIERZ WPISY", a line
// telling what the report holds and the report grid over `raporty`.
class ReportView : public QObject {
  Q_OBJECT
 public:
  ReportView(ViewPanel* left, ViewPanel* right, QObject* parent = nullptr);

  // Puts the table behind the grid once the database is open.
  void ConnectReportGrid(Session& session);
  // Runs the fetch as the window runs every controller command (one at a
  // time) and tells what it brought.
  using FetchRunner = std::function<void(const std::function<EventsResult(Progress&)>& fetch)>;
  // "POBIERZ WPISY" runs the fetch over `link` through `run`.
  void SetCommandTarget(Link& link, FetchRunner run);
  void pobierz_wpisyClick();

  QTableView* grid() const { return RxDBGrid2_; }

 private:
  QLineEdit* edilpob_ = nullptr;
  QTableView* RxDBGrid2_ = nullptr;
  ReportModel* reportModel_ = nullptr;
  Link* link_ = nullptr;
  FetchRunner run_;
};
