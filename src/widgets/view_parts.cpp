#include "widgets/view_parts.h"

#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QStandardItemModel>
#include <QTableView>

#include "widgets/controls.h"
#include "widgets/pictures.h"

QLabel* Caption(QWidget* parent, const QString& name, const QString& text, const QRect& rect, int pixelSize,
                bool bold) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setFont(pictures::Font(pixelSize, bold));
  label->setStyleSheet(QStringLiteral("color: rgb(1,81,178); background: transparent;"));
  label->setGeometry(rect);
  return label;
}

QLineEdit* Edit(QWidget* parent, const QString& name, const QRect& rect, int maxLength) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setFont(pictures::Font(13));
  edit->setGeometry(rect);
  if (maxLength > 0) edit->setMaxLength(maxLength);
  return edit;
}

QLabel* CountryCode(QWidget* parent, const QString& name, const QRect& rect) {
  auto* label = new QLabel(QStringLiteral("+48"), parent);
  label->setObjectName(name);
  label->setFont(pictures::Font(13, true));
  label->setAlignment(Qt::AlignCenter);
  label->setStyleSheet(
      QStringLiteral("color: rgb(1,81,178); background: rgb(238,238,238); border: 1px solid rgb(196,206,222);"
                     " border-radius: 4px;"));
  label->setGeometry(rect);
  return label;
}

QFrame* TitleBar(QWidget* parent, const QRect& rect) {
  auto* bar = new QFrame(parent);
  bar->setGeometry(rect);
  bar->setStyleSheet(QStringLiteral(
      "QFrame { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 rgb(18,108,214), stop:1 rgb(1,81,178));"
      " border-top-left-radius: 4px; border-top-right-radius: 4px; }"));
  return bar;
}

ClickLabel* ColumnTitle(QWidget* parent, const QString& name, const QString& text, const QRect& rect) {
  auto* title = new ClickLabel(parent);
  title->setObjectName(name);
  title->setText(text);
  title->setFont(pictures::Font(12, true));
  title->setStyleSheet(QStringLiteral("color: white; background: transparent; padding-left: 8px;"));
  title->setGeometry(rect);
  title->setCursor(Qt::PointingHandCursor);
  return title;
}

QTableView* Grid(QWidget* parent, const QString& name, const QRect& rect, const QList<int>& widths,
                 const QStringList& titles) {
  auto* grid = new QTableView(parent);
  grid->setObjectName(name);
  grid->setGeometry(rect);
  grid->setFont(pictures::Font(12));
  grid->horizontalHeader()->hide();
  grid->verticalHeader()->hide();
  grid->verticalHeader()->setDefaultSectionSize(28);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // An empty model until the table behind the grid is opened.
  auto* model = new QStandardItemModel(0, int(widths.size()), grid);
  model->setHorizontalHeaderLabels(titles);
  grid->setModel(model);
  for (int i = 0; i < widths.size(); ++i) grid->setColumnWidth(i, widths[i]);
  return grid;
}

void ReplaceGridModel(QTableView* grid, QAbstractItemModel* model) {
  QAbstractItemModel* placeholder = grid->model();
  grid->setModel(model);
  delete placeholder;
}

QColor GridRowColour(int position) { return position % 2 == 1 ? QColor(248, 249, 251) : QColor(Qt::white); }

void DrawCellText(QPainter& painter, const QRect& rect, const QColor& colour, const QString& text) {
  QFont font(QStringLiteral("Arial"));
  font.setPointSize(8);
  painter.setFont(font);
  painter.setPen(colour);
  painter.drawText(QRect(rect.left() + 8, rect.top() + 8, qMax(0, rect.width() - 8), qMax(0, rect.height() - 8)),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}
