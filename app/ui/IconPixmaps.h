#pragma once

#include <QColor>
#include <QPixmap>

namespace zevirudi {

// Paints every drawn pixel in `color`, keeping the drawing's coverage (its anti-aliased edges):
// monochrome icons take the colour of the text around them.
QPixmap tinted(QPixmap pixmap, const QColor& color);

// A drawing bundled with the program (a Qt resource path), at `size` points. A null pixmap, and a
// log line, when it cannot be drawn: the SVG drawings need Qt's SVG icon engine at run time.
QPixmap bundledPixmap(const char* drawing, int size, qreal devicePixelRatio);

}  // namespace zevirudi
