#include "controller/report_view.h"

#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTableView>

#include "controller/event_log.h"
#include "core/session.h"
#include "core/user_interface.h"
#include "store/cursor.h"
#include "widgets/controls.h"
#include "widgets/pictures.h"
#include "widgets/view_parts.h"

void ReportGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  painter->save();
  painter->fillRect(option.rect, GridRowColour(index.data(ReportModel::kPositionRole).toInt()));
  DrawCellText(*painter, option.rect, QColor(1, 81, 178), index.data(Qt::DisplayRole).toString());
  painter->restore();
}

ReportView::ReportView(ViewPanel* left, ViewPanel* right, QObject* parent) : QObject(parent) {
  Caption(left, "Label21", QString::fromUtf8("Ile pobrać ostatnich wpisów"), QRect(12, 54, 178, 18));
  edilpob_ = Edit(left, "edilpob", QRect(12, 72, 178, 30), 9);
  edilpob_->setText(QStringLiteral("10"));
  const PictureButton fetch = MakePictureButton(left, "Image32", "pobierz_wpisy", "POBIERZ WPISY",
                                                QRect(12, 118, 178, 38),
                                                pictures::Button(QSize(178, 38), pictures::ButtonStyle::kPrimary),
                                                Qt::white, 9);
  connect(fetch.picture, &ClickLabel::clicked, this, &ReportView::pobierz_wpisyClick);
  connect(fetch.caption, &ClickLabel::clicked, this, &ReportView::pobierz_wpisyClick);

  auto* memo = new QPlainTextEdit(right);
  memo->setObjectName(QStringLiteral("ALMemo1"));
  memo->setReadOnly(true);
  memo->setGeometry(12, 52, 520, 417);
  memo->setPlaceholderText(QString::fromUtf8(
      "Ostatnie wpisy dziennika zdarzeń sterownika: numer telefonu i czas zdarzenia.\n\n"
      "Podaj po lewej, ile wpisów pobrać, i wybierz POBIERZ WPISY."));

  TitleBar(right, QRect(544, 52, 221, 30));
  ColumnTitle(right, "Label22", QStringLiteral("Telefon"), QRect(544, 52, 100, 30));
  ColumnTitle(right, "Label34", QStringLiteral("Data"), QRect(645, 52, 120, 30));
  RxDBGrid2_ = Grid(right, "RxDBGrid2", QRect(544, 82, 221, 387), {100, 100}, {"Tel", "Data"});
}

void ReportView::ConnectReportGrid(Session& session) {
  reportModel_ = new ReportModel(session, this);
  ReplaceGridModel(RxDBGrid2_, reportModel_);
  RxDBGrid2_->setItemDelegate(new ReportGridDelegate(RxDBGrid2_));
  // Clicks in the report change nothing.
  RxDBGrid2_->setSelectionMode(QAbstractItemView::NoSelection);
  RxDBGrid2_->setFocusPolicy(Qt::NoFocus);
  for (int column = 0; column < 2; ++column) RxDBGrid2_->setColumnWidth(column, 100);
  session.Dbf3().onDataChange = [this] { reportModel_->Changed(); };
}

void ReportView::SetCommandTarget(Link& link, UserInterface& ui, CommandRunner run) {
  link_ = &link;
  ui_ = &ui;
  run_ = std::move(run);
}

void ReportView::pobierz_wpisyClick() {
  if (!link_ || !ui_ || !run_) return;
  run_([this] { FetchEvents(*link_, *ui_, edilpob_->text()); });
}
