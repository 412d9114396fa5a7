#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace zevirudi {

// The screens' small pictures. Each is the desktop icon theme's symbolic icon of that meaning when
// the theme has one, so that the window matches the rest of the desktop, and otherwise a drawing
// bundled with the program; both are monochrome and painted in the colour asked for.
enum class Glyph {
    plus,
    envelope,              // filled
    envelopeBadge,         // filled, with a badge
    envelopeBadgeOutline,  // outlined, with a badge
    checkmarkCircleFill,
    warningTriangle,
    warningTriangleFill,
    ellipsisCircle,
    wrenchAndScrewdriver,
    trash,
};

QPixmap glyphPixmap(Glyph glyph, const QColor& color, int size, qreal devicePixelRatio = 1.0);
QIcon glyphIcon(Glyph glyph, const QColor& color, int size = 16);

// The brand tile: a rounded square with a blue vertical gradient and a white arrow leaving a
// square, also the window icon.
QPixmap brandTile(int size, qreal devicePixelRatio = 1.0);

}  // namespace zevirudi
