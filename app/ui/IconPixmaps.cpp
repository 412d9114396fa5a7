#include "ui/IconPixmaps.h"

#include "support/LogSink.h"

#include <QIcon>
#include <QPainter>

#include <string>

namespace zevirudi {

QPixmap tinted(QPixmap pixmap, const QColor& color) {
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), color);
    return pixmap;
}

QPixmap bundledPixmap(const char* drawing, int size, qreal devicePixelRatio) {
    QPixmap pixmap =
        QIcon(QString::fromLatin1(drawing)).pixmap(QSize(size, size), devicePixelRatio);
    if (pixmap.isNull()) {
        loftwing::logMessage(loftwing::LogLevel::warning, "ui",
                             std::string("Bundled icon not drawn, is Qt's SVG icon engine "
                                         "installed? ") +
                                 drawing);
    }
    return pixmap;
}

}  // namespace zevirudi
