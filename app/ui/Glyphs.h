#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace zevirudi {

// The window's small pictures, painted rather than taken from an icon theme, so that they look
// the same on every desktop (many have no theme with these symbols, or none Qt can read).
enum class Glyph { envelope, envelopeBadge, checkCircle, warningTriangle, plus, ellipsis };

QPixmap glyphPixmap(Glyph glyph, const QColor& color, int size, qreal devicePixelRatio = 1.0);
QIcon glyphIcon(Glyph glyph, const QColor& color, int size = 16);

// The brand tile: a rounded square with a blue vertical gradient and a white arrow leaving a
// square, also the window icon.
QPixmap brandTile(int size, qreal devicePixelRatio = 1.0);

}  // namespace zevirudi
