#include "widgets/pictures.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace pictures {

namespace {

QPixmap Blank(QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

QPainterPath RoundedTop(const QRectF& r, qreal radius) {
  QPainterPath path;
  path.moveTo(r.left(), r.bottom());
  path.lineTo(r.left(), r.top() + radius);
  path.quadTo(r.left(), r.top(), r.left() + radius, r.top());
  path.lineTo(r.right() - radius, r.top());
  path.quadTo(r.right(), r.top(), r.right(), r.top() + radius);
  path.lineTo(r.right(), r.bottom());
  path.closeSubpath();
  return path;
}

// The mark of the company: a gate post with a relay contact, in a rounded square.
void DrawMark(QPainter& p, const QRectF& r) {
  p.setPen(Qt::NoPen);
  QLinearGradient fill(r.topLeft(), r.bottomRight());
  fill.setColorAt(0, QColor(255, 210, 70));
  fill.setColorAt(1, kOrange.darker(112));
  p.setBrush(fill);
  p.drawRoundedRect(r, r.width() * 0.22, r.width() * 0.22);

  const qreal u = r.width() / 12.0;
  QPen pen(kNavy, u * 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  // Two gate posts and the swinging bar.
  p.drawLine(QPointF(r.left() + 3 * u, r.top() + 3 * u), QPointF(r.left() + 3 * u, r.bottom() - 2.5 * u));
  p.drawLine(QPointF(r.right() - 3 * u, r.top() + 6 * u), QPointF(r.right() - 3 * u, r.bottom() - 2.5 * u));
  p.drawLine(QPointF(r.left() + 3 * u, r.top() + 6 * u), QPointF(r.right() - 4 * u, r.top() + 3.5 * u));
  // Radio waves: the GSM side.
  pen.setWidthF(u * 0.9);
  p.setPen(pen);
  const QPointF c(r.left() + 3 * u, r.top() + 3 * u);
  p.drawArc(QRectF(c.x() - 0.5 * u, c.y() - 2.6 * u, 3.2 * u, 3.2 * u), 0 * 16, 80 * 16);
}

}  // namespace

QFont Font(int pixelSize, bool bold) {
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QPixmap WindowBackground(QSize size) {
  QPixmap pixmap(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);

  // Content area: a quiet grey that lets the white cards stand out.
  p.fillRect(pixmap.rect(), kGrey);

  // Header band with the brand and, at its foot, the tabs.
  const QRectF header(0, 0, size.width(), 104);
  QLinearGradient band(header.topLeft(), header.bottomLeft());
  band.setColorAt(0, QColor(2, 96, 205));
  band.setColorAt(1, kText.darker(125));
  p.fillRect(header, band);
  // A soft diagonal sheen so the band is not flat.
  QPainterPath sheen;
  sheen.moveTo(size.width() * 0.55, 0);
  sheen.lineTo(size.width(), 0);
  sheen.lineTo(size.width(), 56);
  sheen.lineTo(size.width() * 0.62, 56);
  sheen.closeSubpath();
  p.fillPath(sheen, QColor(255, 255, 255, 14));
  p.fillRect(QRectF(0, 103, size.width(), 1), QColor(0, 0, 0, 40));

  DrawMark(p, QRectF(41, 14, 36, 36));
  p.setPen(Qt::white);
  p.setFont(Font(24, true));
  p.drawText(QRectF(88, 10, 400, 30), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Selvantrix"));
  p.setPen(QColor(255, 255, 255, 190));
  p.setFont(Font(12));
  p.drawText(QRectF(89, 36, 400, 18), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("Konfigurator sterownika GSM"));

  // Orange hairline under the brand on the right: the company colour.
  p.fillRect(QRectF(size.width() - 240, 30, 199, 3), kOrange);
  p.setFont(Font(11, true));
  p.setPen(QColor(255, 255, 255, 200));
  p.drawText(QRectF(size.width() - 240, 8, 199, 20), Qt::AlignRight | Qt::AlignVCenter,
             QString::fromUtf8("STEROWNIK PRZEKAŹNIKOWY GSM"));

  // Footer line.
  p.setPen(QColor(130, 140, 155));
  p.setFont(Font(11));
  p.drawText(QRectF(41, size.height() - 30, size.width() - 82, 24), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("Selvantrix · lista telefonów, konfiguracja i raporty sterownika przez port COM"));
  return pixmap;
}

QPixmap Tab(QSize size, bool active) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(0.5, 0.5, size.width() - 1, size.height() - 0.5);
  const QPainterPath shape = RoundedTop(r, 7);
  if (active) {
    p.fillPath(shape, kPaper);
    p.fillPath(RoundedTop(QRectF(r.left(), r.top(), r.width(), 6), 4) & shape, kOrange);
  } else {
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, QColor(255, 255, 255, 46));
    fill.setColorAt(1, QColor(255, 255, 255, 22));
    p.fillPath(shape, fill);
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    p.drawPath(shape);
  }
  return pixmap;
}

QPixmap MenuArrow(QSize size) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(2, 2, size.width() - 4, size.height() - 4);
  p.setPen(Qt::NoPen);
  p.setBrush(kOrange);
  p.drawEllipse(r);
  QPainterPath arrow;
  const QPointF c = r.center();
  const qreal s = r.width() * 0.22;
  arrow.moveTo(c.x() - s, c.y() - s * 0.45);
  arrow.lineTo(c.x() + s, c.y() - s * 0.45);
  arrow.lineTo(c.x(), c.y() + s * 0.75);
  arrow.closeSubpath();
  p.fillPath(arrow, kNavy);
  return pixmap;
}

QPixmap Button(QSize size, ButtonStyle style) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(0.5, 0.5, size.width() - 1, size.height() - 2);
  QColor top, bottom, edge;
  switch (style) {
    case ButtonStyle::kPrimary: top = QColor(18, 108, 214), bottom = kText, edge = kText.darker(130); break;
    case ButtonStyle::kAccent: top = QColor(255, 212, 76), bottom = kOrange, edge = kOrange.darker(125); break;
    case ButtonStyle::kQuiet: top = Qt::white, bottom = QColor(226, 231, 239), edge = QColor(186, 196, 212); break;
  }
  // A soft shadow under the button, then the body.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 40));
  p.drawRoundedRect(r.translated(0, 1.5), 6, 6);
  QLinearGradient fill(r.topLeft(), r.bottomLeft());
  fill.setColorAt(0, top);
  fill.setColorAt(1, bottom);
  p.setBrush(fill);
  p.setPen(QPen(edge, 1));
  p.drawRoundedRect(r, 6, 6);
  p.setPen(QPen(QColor(255, 255, 255, 70), 1));
  p.drawLine(QPointF(r.left() + 6, r.top() + 1.5), QPointF(r.right() - 6, r.top() + 1.5));
  return pixmap;
}

QPixmap DialogBackground(QSize size) {
  QPixmap pixmap(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0, QColor(10, 62, 138));
  fill.setColorAt(1, kNavy);
  p.fillRect(pixmap.rect(), fill);
  QRadialGradient glow(QPointF(size.width() * 0.2, 0), size.width() * 0.7);
  glow.setColorAt(0, QColor(255, 255, 255, 30));
  glow.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(pixmap.rect(), glow);
  p.fillRect(QRect(0, 0, size.width(), 4), kOrange);
  p.setPen(QPen(QColor(0, 20, 60), 1));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));
  return pixmap;
}

QPixmap Logo(QSize size) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal side = size.height();
  DrawMark(p, QRectF(0, 0, side, side));
  const QRectF text(side * 1.25, 0, size.width() - side * 1.25, size.height());
  const QString name = QStringLiteral("Selvantrix");
  const QString motto = QString::fromUtf8("systemy sterowania bramami GSM");
  // The name takes what the width allows, up to 42% of the height.
  QFont nameFont = Font(int(side * 0.42), true);
  while (nameFont.pixelSize() > 8 && QFontMetricsF(nameFont).horizontalAdvance(name) > text.width()) {
    nameFont.setPixelSize(nameFont.pixelSize() - 1);
  }
  QFont mottoFont = Font(qMax(8, int(nameFont.pixelSize() * 0.45)));
  while (mottoFont.pixelSize() > 7 && QFontMetricsF(mottoFont).horizontalAdvance(motto) > text.width()) {
    mottoFont.setPixelSize(mottoFont.pixelSize() - 1);
  }
  p.setPen(kText);
  p.setFont(nameFont);
  p.drawText(text.adjusted(0, 0, 0, -size.height() * 0.42), Qt::AlignLeft | Qt::AlignBottom, name);
  p.setPen(QColor(110, 122, 140));
  p.setFont(mottoFont);
  p.drawText(text.adjusted(0, size.height() * 0.62, 0, 0), Qt::AlignLeft | Qt::AlignTop, motto);
  return pixmap;
}

QPixmap Mark(QSize size) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal side = qMin(size.width(), size.height());
  DrawMark(p, QRectF((size.width() - side) / 2, (size.height() - side) / 2, side, side));
  return pixmap;
}

QPixmap SearchGlyph(QSize size) {
  QPixmap pixmap = Button(size, ButtonStyle::kQuiet);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = qMin(size.width(), size.height());
  const QPointF c(size.width() / 2.0 - s * 0.06, size.height() / 2.0 - s * 0.08);
  p.setPen(QPen(kText, s * 0.09, Qt::SolidLine, Qt::RoundCap));
  p.drawEllipse(c, s * 0.2, s * 0.2);
  p.drawLine(c + QPointF(s * 0.15, s * 0.15), c + QPointF(s * 0.3, s * 0.3));
  return pixmap;
}

QPixmap DiskGlyph(QSize size) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(1, 1, size.width() - 2, size.height() - 2);
  p.setPen(Qt::NoPen);
  p.setBrush(kText);
  p.drawRoundedRect(r, 3, 3);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(r.left() + r.width() * 0.22, r.top() + 2, r.width() * 0.56, r.height() * 0.34));
  p.setBrush(kOrange);
  p.drawRect(QRectF(r.left() + r.width() * 0.18, r.top() + r.height() * 0.58, r.width() * 0.64, r.height() * 0.3));
  return pixmap;
}

QPixmap ContactGlyph(QSize size, int kind) {
  QPixmap pixmap = Blank(size);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF r(0.5, 0.5, size.width() - 1, size.height() - 1);
  p.setPen(Qt::NoPen);
  p.setBrush(kind == 0 ? kOrange : kText);
  p.drawEllipse(r);
  p.setPen(QPen(Qt::white, qMax(1.5, r.width() / 12), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  const QPointF c = r.center();
  const qreal s = r.width() * 0.22;
  switch (kind) {
    case 0: {  // address: a pin
      QPainterPath pin;
      pin.moveTo(c.x(), c.y() + s * 1.3);
      pin.cubicTo(c.x() - s * 1.6, c.y() - s * 0.2, c.x() - s, c.y() - s * 1.5, c.x(), c.y() - s * 1.4);
      pin.cubicTo(c.x() + s, c.y() - s * 1.5, c.x() + s * 1.6, c.y() - s * 0.2, c.x(), c.y() + s * 1.3);
      p.drawPath(pin);
      p.drawEllipse(QPointF(c.x(), c.y() - s * 0.45), s * 0.35, s * 0.35);
      break;
    }
    case 1:  // telephone: a mobile with its screen
      p.drawRoundedRect(QRectF(c.x() - s * 0.75, c.y() - s * 1.3, s * 1.5, s * 2.6), s * 0.3, s * 0.3);
      p.drawLine(c + QPointF(-s * 0.25, s * 0.85), c + QPointF(s * 0.25, s * 0.85));
      break;
    case 2:  // e-mail: an envelope
      p.drawRect(QRectF(c.x() - s * 1.3, c.y() - s * 0.9, s * 2.6, s * 1.8));
      p.drawPolyline(
          QPolygonF({c + QPointF(-s * 1.3, -s * 0.9), c + QPointF(0, s * 0.2), c + QPointF(s * 1.3, -s * 0.9)}));
      break;
    default:  // web: a globe
      p.drawEllipse(c, s * 1.3, s * 1.3);
      p.drawEllipse(c, s * 0.55, s * 1.3);
      p.drawLine(c + QPointF(-s * 1.3, 0), c + QPointF(s * 1.3, 0));
      break;
  }
  return pixmap;
}

QPixmap SortTriangle(QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(kOrange);
  const QPointF c(size.width() / 2.0, size.height() / 2.0);
  const QPointF triangle[] = {{c.x() - 5, c.y() + 3.5}, {c.x() + 5, c.y() + 3.5}, {c.x(), c.y() - 4}};
  p.drawPolygon(triangle, 3);
  return pixmap;
}

}  // namespace pictures
