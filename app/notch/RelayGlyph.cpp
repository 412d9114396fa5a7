#include "notch/RelayGlyph.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace zevirudi {

void RelayGlyph::paint(QPainter& painter, QPointF topLeft, const QColor& accent) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF tile(topLeft, QSizeF(size, size));
    QLinearGradient fill(tile.topLeft(), tile.bottomRight());
    fill.setColorAt(0, accent.lighter(125));
    fill.setColorAt(1, accent.darker(120));
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(tile, cornerRadius, cornerRadius);

    // Two strokes: an incoming line and an arrow head passing it on.
    const double unit = size / 16;
    QPen stroke(QColor(255, 255, 255, 235), 1.6 * unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(stroke);
    painter.setBrush(Qt::NoBrush);
    const QPointF origin = tile.topLeft();
    QPainterPath arrow;
    arrow.moveTo(origin + QPointF(4 * unit, 11 * unit));
    arrow.lineTo(origin + QPointF(4 * unit, 8 * unit));
    arrow.quadTo(origin + QPointF(4 * unit, 5.5 * unit), origin + QPointF(6.5 * unit, 5.5 * unit));
    arrow.lineTo(origin + QPointF(11.5 * unit, 5.5 * unit));
    arrow.moveTo(origin + QPointF(9.5 * unit, 3.5 * unit));
    arrow.lineTo(origin + QPointF(11.5 * unit, 5.5 * unit));
    arrow.lineTo(origin + QPointF(9.5 * unit, 7.5 * unit));
    painter.drawPath(arrow);
    painter.drawPoint(origin + QPointF(11 * unit, 11 * unit));
    painter.restore();
}

}  // namespace zevirudi
