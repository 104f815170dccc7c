#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QSize>

// Every picture of the window is drawn here at the size it is shown, so the
// program ships no bitmaps and stays sharp at any size we pick.
namespace pictures {

inline const QColor kText(1, 81, 178);
inline const QColor kOrange(250, 192, 23);
inline const QColor kGrey(238, 238, 238);
inline const QColor kPaper(248, 249, 251);
inline const QColor kNavy(0, 42, 102);
inline const QColor kLine(214, 221, 232);

// The window's font: Arial, or Liberation Sans with the same metrics.
QFont Font(int pixelSize, bool bold = false);

enum class ButtonStyle { kPrimary, kAccent, kQuiet };

QPixmap WindowBackground(QSize size);
QPixmap Tab(QSize size, bool active);
QPixmap MenuArrow(QSize size);
QPixmap Button(QSize size, ButtonStyle style);
QPixmap DialogBackground(QSize size);
QPixmap Logo(QSize size);
QPixmap Mark(QSize size);
QPixmap SearchGlyph(QSize size);
QPixmap DiskGlyph(QSize size);
QPixmap ContactGlyph(QSize size, int kind);
// An upward triangle in the accent colour, centred: the sorted column's mark.
QPixmap SortTriangle(QSize size);

}  // namespace pictures
