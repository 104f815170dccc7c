#include "controller/report_view.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpression>
#include <QTableView>

#include "controller/event_log.h"
#include "controller/report_model.h"
#include "core/session.h"
#include "core/user_interface.h"
#include "store/cursor.h"
#include "widgets/controls.h"
#include "widgets/pictures.h"
#include "widgets/view_parts.h"

namespace {

constexpr int kPhoneWidth = 300;

}  // namespace

QString ReportDateText(const QString& stored) {
  static const QRegularExpression kStored(QStringLiteral("^(\\d\\d)/(\\d\\d)/(\\d\\d) (\\d\\d):(\\d\\d)$"));
  const QRegularExpressionMatch m = kStored.match(stored);
  if (!m.hasMatch()) return stored;
  // The controller's clock keeps two digits of the year; it was made this century.
  return QStringLiteral("%1.%2.20%3 %4:%5")
      .arg(m.captured(3), m.captured(2), m.captured(1), m.captured(4), m.captured(5));
}

void ReportGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  painter->save();
  painter->fillRect(option.rect, GridRowColour(index.data(ReportModel::kPositionRole).toInt()));
  QString text = index.data(Qt::DisplayRole).toString();
  if (index.column() == 1) text = ReportDateText(text);
  DrawCellText(*painter, option.rect, QColor(1, 81, 178), text);
  painter->restore();
}

ReportOrder::ReportOrder(QObject* parent) : QSortFilterProxyModel(parent) { setDynamicSortFilter(true); }

QVariant ReportOrder::data(const QModelIndex& index, int role) const {
  // Shading follows the rows as shown, not as stored.
  if (role == ReportModel::kPositionRole && index.isValid()) return index.row() + 1;
  return QSortFilterProxyModel::data(index, role);
}

bool ReportOrder::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const QString a = left.sibling(left.row(), 1).data().toString();
  const QString b = right.sibling(right.row(), 1).data().toString();
  if (a != b) return a < b;
  return left.row() < right.row();
}

ReportView::ReportView(ViewPanel* left, ViewPanel* right, QObject* parent) : QObject(parent) {
  Caption(left, "Label21", QString::fromUtf8("Ile pobrać ostatnich wpisów"), QRect(12, 54, 178, 18));
  edilpob_ = Edit(left, "edilpob", QRect(12, 72, 178, 30), 9);
  edilpob_->setText(QStringLiteral("10"));
  const PictureButton fetch =
      MakePictureButton(left, "Image32", "pobierz_wpisy", "POBIERZ WPISY", QRect(12, 118, 178, 38),
                        pictures::Button(QSize(178, 38), pictures::ButtonStyle::kPrimary), Qt::white, 9);
  connect(fetch.picture, &ClickLabel::clicked, this, &ReportView::pobierz_wpisyClick);
  connect(fetch.caption, &ClickLabel::clicked, this, &ReportView::pobierz_wpisyClick);

  // The hint stands above the grid, which has the whole width.
  auto* hint = Caption(right, "ALMemo1",
                       QString::fromUtf8("Ostatnie wpisy dziennika zdarzeń sterownika, najnowsze na górze. Podaj po "
                                         "lewej, ile wpisów pobrać, i wybierz POBIERZ WPISY."),
                       QRect(12, 48, 753, 36), 12, false);
  hint->setWordWrap(true);
  hint->setStyleSheet(QStringLiteral("color: rgb(64,84,112); background: transparent;"));

  TitleBar(right, QRect(12, 88, 753, 30));
  ColumnTitle(right, "Label22", QStringLiteral("Telefon"), QRect(12, 88, kPhoneWidth, 30));
  ColumnTitle(right, "Label34", QString::fromUtf8("Data i godzina"),
              QRect(12 + kPhoneWidth, 88, 753 - kPhoneWidth, 30));
  RxDBGrid2_ = Grid(right, "RxDBGrid2", QRect(12, 118, 753, 351), {kPhoneWidth, 753 - kPhoneWidth}, {"Tel", "Data"});
}

void ReportView::ConnectReportGrid(Session& session) {
  reportModel_ = new ReportModel(session, this);
  auto* order = new ReportOrder(this);
  order->setSourceModel(reportModel_);
  order->sort(1, Qt::DescendingOrder);
  ReplaceGridModel(RxDBGrid2_, order);
  RxDBGrid2_->setItemDelegate(new ReportGridDelegate(RxDBGrid2_));
  // Clicks in the report change nothing.
  RxDBGrid2_->setSelectionMode(QAbstractItemView::NoSelection);
  RxDBGrid2_->setFocusPolicy(Qt::NoFocus);
  RxDBGrid2_->setColumnWidth(0, kPhoneWidth);
  RxDBGrid2_->horizontalHeader()->setStretchLastSection(true);
  session.Dbf3().onDataChange = [this] { reportModel_->Changed(); };
}

void ReportView::SetCommandTarget(Link& link, FetchRunner run) {
  link_ = &link;
  run_ = std::move(run);
}

void ReportView::pobierz_wpisyClick() {
  if (!link_ || !run_) return;
  run_([this](Progress& progress) { return FetchEvents(*link_, progress, edilpob_->text()); });
}
