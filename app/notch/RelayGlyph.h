#pragma once

#include <QColor>
#include <QPointF>

class QPainter;

namespace zevirudi {

// The small brand mark: a rounded tile in the accent colour carrying a relay arrow (a message
// handed on). Decorative only; it is painted, never an accessible element.
struct RelayGlyph {
    double size = 16;
    double cornerRadius = 4;

    void paint(QPainter& painter, QPointF topLeft, const QColor& accent) const;
};

}  // namespace zevirudi
