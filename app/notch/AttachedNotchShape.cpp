#include "notch/AttachedNotchShape.h"

namespace zevirudi {

QPainterPath AttachedNotchShape::path(const QRectF& rect) const {
    const double x0 = rect.left();
    const double x1 = rect.right();
    const double y0 = rect.top();
    const double y1 = rect.bottom();
    const double left = x0 + 16;
    const double right = x1 - 16;

    QPainterPath path;
    path.moveTo(x0, y0);
    path.lineTo(x1, y0);
    path.cubicTo(x1 - 8, y0, right, y0 + 8, right, y0 + 16);
    path.lineTo(right, y1 - 24);
    path.quadTo(right, y1, right - 24, y1);
    path.lineTo(left + 24, y1);
    path.quadTo(left, y1, left, y1 - 24);
    path.lineTo(left, y0 + 16);
    path.cubicTo(left, y0 + 8, x0 + 8, y0, x0, y0);
    path.closeSubpath();
    return path;
}

}  // namespace zevirudi
