#pragma once

#include <QColor>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>

class ClickLabel;
class QFrame;
class QLabel;
class QLineEdit;
class QPainter;
class QTableView;
class QWidget;

// Where every view's two panels stand in the main window: the narrow column
// of boxes and buttons at the left, the wide area at the right.
inline constexpr QRect kLeftColumn(41, 117, 202, 483);
inline constexpr QRect kRightArea(256, 120, 777, 481);

// The small pieces every view is built from, in the window's one style.
QLabel* Caption(QWidget* parent, const QString& name, const QString& text, const QRect& rect, int pixelSize = 12,
                bool bold = true);
QLineEdit* Edit(QWidget* parent, const QString& name, const QRect& rect, int maxLength);
// The "+48" box in front of a phone field: the country code is never stored.
QLabel* CountryCode(QWidget* parent, const QString& name, const QRect& rect);
// The blue bar of column titles above a grid (the grids draw no title row).
QFrame* TitleBar(QWidget* parent, const QRect& rect);
ClickLabel* ColumnTitle(QWidget* parent, const QString& name, const QString& text, const QRect& rect);
// `titles` name the columns (the language file translates them) though the
// grids show no title row.
QTableView* Grid(QWidget* parent, const QString& name, const QRect& rect, const QList<int>& widths,
                 const QStringList& titles);
// Puts `model` behind `grid` in place of the empty one it was built with.
void ReplaceGridModel(QTableView* grid, class QAbstractItemModel* model);

// The grids' row shading: odd positions tinted, even ones white.
QColor GridRowColour(int position);
// The grids' cell text: 8 points, its top-left corner 8 pixels in and down.
void DrawCellText(QPainter& painter, const QRect& rect, const QColor& colour, const QString& text);
