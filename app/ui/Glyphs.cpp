#include "ui/Glyphs.h"

#include "ui/IconPixmaps.h"

#include <QLinearGradient>
#include <QPainter>

namespace zevirudi {
namespace {

struct GlyphSource {
    const char* themeName;  // freedesktop icon name, symbolic variant; empty: none fits
    const char* drawing;    // bundled fallback
};

GlyphSource source(Glyph glyph) {
    switch (glyph) {
        case Glyph::plus:
            return {"list-add-symbolic", ":/zevirudi/glyphs/plus.svg"};
        case Glyph::envelope:
            return {"mail-unread-symbolic", ":/zevirudi/glyphs/envelope-fill.svg"};
        // No freedesktop name means an envelope with a badge, or tools: always the bundled drawing.
        case Glyph::envelopeBadgeOutline:
            return {"", ":/zevirudi/glyphs/envelope-badge.svg"};
        case Glyph::envelopeBadge:
            return {"", ":/zevirudi/glyphs/envelope-badge-fill.svg"};
        case Glyph::checkmarkCircleFill:
            return {"emblem-ok-symbolic", ":/zevirudi/glyphs/checkmark-circle-fill.svg"};
        case Glyph::warningTriangle:
            return {"dialog-warning-symbolic", ":/zevirudi/glyphs/exclamationmark-triangle.svg"};
        case Glyph::warningTriangleFill:
            return {"dialog-warning-symbolic",
                    ":/zevirudi/glyphs/exclamationmark-triangle-fill.svg"};
        case Glyph::ellipsisCircle:
            return {"view-more-symbolic", ":/zevirudi/glyphs/ellipsis-circle.svg"};
        case Glyph::wrenchAndScrewdriver:
            return {"", ":/zevirudi/glyphs/wrench-and-screwdriver.svg"};
        case Glyph::trash:
            return {"user-trash-symbolic", ":/zevirudi/glyphs/trash.svg"};
    }
    return {"", ""};
}

}  // namespace

QPixmap glyphPixmap(Glyph glyph, const QColor& color, int size, qreal devicePixelRatio) {
    const auto [themeName, drawing] = source(glyph);
    const QIcon themed =
        *themeName == '\0' ? QIcon() : QIcon::fromTheme(QString::fromLatin1(themeName));
    QPixmap pixmap = themed.isNull() ? bundledPixmap(drawing, size, devicePixelRatio)
                                     : themed.pixmap(QSize(size, size), devicePixelRatio);
    return pixmap.isNull() ? pixmap : tinted(pixmap, color);
}

QIcon glyphIcon(Glyph glyph, const QColor& color, int size) {
    QIcon icon;
    icon.addPixmap(glyphPixmap(glyph, color, size, 1.0));
    icon.addPixmap(glyphPixmap(glyph, color, size, 2.0));
    return icon;
}

QPixmap brandTile(int size, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, size);
    gradient.setColorAt(0, QColor::fromRgbF(0.08f, 0.53f, 1.0f));
    gradient.setColorAt(1, QColor::fromRgbF(0.02f, 0.40f, 0.86f));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(QRectF(0, 0, size, size), size * 0.25, size * 0.25);
    // The brand's own mark, never a theme icon: 32 of the tile's 48 points, centred.
    const int mark = size * 2 / 3;
    const QPixmap arrow =
        bundledPixmap(":/zevirudi/glyphs/arrow-up-right-square-fill.svg", mark, devicePixelRatio);
    if (!arrow.isNull()) {
        const qreal inset = (size - mark) / 2.0;
        painter.drawPixmap(QPointF(inset, inset), tinted(arrow, Qt::white));
    }
    return pixmap;
}

}  // namespace zevirudi
