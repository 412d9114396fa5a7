#include "ui/Glyphs.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace zevirudi {
namespace {

QPixmap canvas(int size, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

void paintEnvelope(QPainter& painter, const QRectF& box, const QColor& color) {
    const QRectF body = box.adjusted(box.width() * 0.06, box.height() * 0.2, -box.width() * 0.06,
                                     -box.height() * 0.2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawRoundedRect(body, box.width() * 0.08, box.width() * 0.08);
    QPen flap(Qt::white, box.width() * 0.07, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(flap);
    painter.setBrush(Qt::NoBrush);
    const QPointF middle(body.center().x(), body.top() + body.height() * 0.55);
    painter.drawPolyline(
        QPolygonF{body.topLeft() + QPointF(body.width() * 0.08, body.height() * 0.12), middle,
                  body.topRight() + QPointF(-body.width() * 0.08, body.height() * 0.12)});
}

}  // namespace

QPixmap glyphPixmap(Glyph glyph, const QColor& color, int size, qreal devicePixelRatio) {
    QPixmap pixmap = canvas(size, devicePixelRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(0, 0, size, size);
    const qreal stroke = std::max(1.5, size * 0.1);
    switch (glyph) {
        case Glyph::envelope:
            paintEnvelope(painter, box, color);
            break;
        case Glyph::envelopeBadge: {
            paintEnvelope(painter, box.adjusted(0, size * 0.08, -size * 0.08, 0), color);
            painter.setPen(QPen(Qt::white, size * 0.06));
            painter.setBrush(color.darker(115));
            painter.drawEllipse(QPointF(size * 0.8, size * 0.24), size * 0.17, size * 0.17);
            break;
        }
        case Glyph::checkCircle: {
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            painter.drawEllipse(box.adjusted(1, 1, -1, -1));
            painter.setPen(QPen(Qt::white, stroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.drawPolyline(QPolygonF{QPointF(size * 0.3, size * 0.52),
                                           QPointF(size * 0.44, size * 0.66),
                                           QPointF(size * 0.71, size * 0.36)});
            break;
        }
        case Glyph::warningTriangle: {
            QPainterPath triangle;
            triangle.moveTo(size * 0.5, size * 0.1);
            triangle.lineTo(size * 0.95, size * 0.88);
            triangle.lineTo(size * 0.05, size * 0.88);
            triangle.closeSubpath();
            painter.setPen(QPen(color, stroke * 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(triangle);
            painter.setPen(QPen(color, stroke * 0.9, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(size * 0.5, size * 0.38), QPointF(size * 0.5, size * 0.6));
            painter.drawPoint(QPointF(size * 0.5, size * 0.74));
            break;
        }
        case Glyph::plus:
            painter.setPen(QPen(color, stroke, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(size * 0.5, size * 0.2), QPointF(size * 0.5, size * 0.8));
            painter.drawLine(QPointF(size * 0.2, size * 0.5), QPointF(size * 0.8, size * 0.5));
            break;
        case Glyph::ellipsis:
            painter.setPen(QPen(color, std::max(1.0, size * 0.07)));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(box.adjusted(1, 1, -1, -1));
            painter.setPen(Qt::NoPen);
            painter.setBrush(color);
            for (const qreal x : {0.3, 0.5, 0.7}) {
                painter.drawEllipse(QPointF(size * x, size * 0.5), size * 0.06, size * 0.06);
            }
            break;
    }
    return pixmap;
}

QIcon glyphIcon(Glyph glyph, const QColor& color, int size) {
    QIcon icon;
    icon.addPixmap(glyphPixmap(glyph, color, size, 1.0));
    icon.addPixmap(glyphPixmap(glyph, color, size, 2.0));
    return icon;
}

QPixmap brandTile(int size, qreal devicePixelRatio) {
    QPixmap pixmap = canvas(size, devicePixelRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, size);
    gradient.setColorAt(0, QColor::fromRgbF(0.08f, 0.53f, 1.0f));
    gradient.setColorAt(1, QColor::fromRgbF(0.02f, 0.40f, 0.86f));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.25, size * 0.25);
    // A square open at its top right, with an arrow leaving through the gap.
    const qreal unit = size / 48.0;
    QPen pen(Qt::white, 3.2 * unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPolyline(QPolygonF{QPointF(24 * unit, 14 * unit), QPointF(16 * unit, 14 * unit),
                                   QPointF(14 * unit, 16 * unit), QPointF(14 * unit, 32 * unit),
                                   QPointF(16 * unit, 34 * unit), QPointF(32 * unit, 34 * unit),
                                   QPointF(34 * unit, 32 * unit), QPointF(34 * unit, 24 * unit)});
    painter.drawLine(QPointF(22 * unit, 26 * unit), QPointF(35 * unit, 13 * unit));
    painter.drawPolyline(QPolygonF{QPointF(27 * unit, 13 * unit), QPointF(35 * unit, 13 * unit),
                                   QPointF(35 * unit, 21 * unit)});
    return pixmap;
}

}  // namespace zevirudi
