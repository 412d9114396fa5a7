#pragma once

#include <QPainterPath>
#include <QRectF>

namespace zevirudi {

// The outline of a panel hanging from the camera housing: the body is 32 points narrower than the
// rectangle, its top corners flare outward by 16 points into the top edge, and its bottom corners
// are rounded with radius 24. y grows downward.
struct AttachedNotchShape {
    QPainterPath path(const QRectF& rect) const;
};

}  // namespace zevirudi
