#include "ui/OnboardingLook.h"

#include "ui/IconPixmaps.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QPushButton>

#include <algorithm>

namespace zevirudi {
namespace {

// Outside a desktop session Qt uses the bare "hicolor" theme, which has no symbols; most systems
// still carry the freedesktop reference set, Adwaita's symbolic icons, so look there next.
QIcon installedSymbol(const QString& themeName) {
    const QString file = themeName + QStringLiteral("-symbolic.svg");
    for (const QString& root : QIcon::themeSearchPaths()) {
        const QDir scalable(root + QStringLiteral("/Adwaita/scalable"));
        for (const QString& context : scalable.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString path = scalable.filePath(context + QLatin1Char('/') + file);
            if (QFileInfo::exists(path)) {
                return QIcon(path);
            }
        }
    }
    return {};
}

bool isDark(const QWidget* widget) {
    return widget->palette().color(QPalette::Window).lightness() < 128;
}

}  // namespace

QLabel* textLabel(const QString& text, qreal scale, QFont::Weight weight) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setWeight(weight);
    label->setFont(font);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    // Inside a button a label would otherwise take the button's text colour.
    label->setForegroundRole(QPalette::WindowText);
    return label;
}

QLabel* secondaryLabel(const QString& text, qreal scale) {
    auto* label = textLabel(text, scale);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

QFrame* card(QWidget* parent) {
    auto* frame = new QFrame(parent);
    frame->setObjectName(QStringLiteral("onboardingCard"));
    frame->setStyleSheet(
        QStringLiteral("QFrame#onboardingCard { background-color: palette(base); "
                       "border: 1px solid palette(mid); border-radius: 10px; }"));
    return frame;
}

void makeProminent(QPushButton* button) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, palette.color(QPalette::Highlight));
    palette.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
    button->setPalette(palette);
    QFont font = button->font();
    font.setWeight(QFont::DemiBold);
    button->setFont(font);
    roomy(button);
    button->setMinimumWidth(std::max(button->minimumWidth(), 120));
}

void roomy(QPushButton* button, const QString& longestText) {
    const QString saved = button->text();
    if (!longestText.isEmpty()) {
        button->setText(longestText);
    }
    const QSize hint = button->sizeHint();
    button->setText(saved);
    button->setMinimumSize(hint.width() + 20, std::max(hint.height(), 32));
}

QPixmap selectionMark(bool selected, const QWidget* widget, int size, qreal devicePixelRatio) {
    QPixmap pixmap(QSize(size, size) * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle = QRectF(0, 0, size, size).adjusted(1.5, 1.5, -1.5, -1.5);
    const QColor accent = widget->palette().color(QPalette::Highlight);
    if (!selected) {
        painter.setPen(QPen(widget->palette().color(QPalette::PlaceholderText), 1.5));
        painter.drawEllipse(circle);
        return pixmap;
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(accent);
    painter.drawEllipse(circle);
    QPen tick(widget->palette().color(QPalette::HighlightedText), size * 0.11, Qt::SolidLine,
              Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(tick);
    painter.drawPolyline(QPolygonF{QPointF(size * 0.3, size * 0.52),
                                   QPointF(size * 0.45, size * 0.66),
                                   QPointF(size * 0.71, size * 0.37)});
    return pixmap;
}

QColor successColor(const QWidget* widget) {
    return isDark(widget) ? QColor(0x57, 0xe3, 0x89) : QColor(0x26, 0xa2, 0x69);
}

QColor warningColor(const QWidget* widget) {
    return isDark(widget) ? QColor(0xff, 0xa3, 0x48) : QColor(0xc6, 0x46, 0x00);
}

QColor errorColor(const QWidget* widget) {
    return isDark(widget) ? QColor(0xff, 0x7b, 0x63) : QColor(0xc0, 0x1c, 0x28);
}

QPixmap symbolPixmap(const QString& themeName, QStyle::StandardPixmap fallback, const QColor& color,
                     int size, qreal devicePixelRatio) {
    QIcon icon = QIcon::fromTheme(themeName + QStringLiteral("-symbolic"));
    if (icon.isNull()) {
        icon = QIcon::fromTheme(themeName);
    }
    if (icon.isNull()) {
        icon = installedSymbol(themeName);
    }
    if (icon.isNull()) {
        icon = QApplication::style()->standardIcon(fallback);
    }
    // Keep the shape, take the colour: symbolic icons are one shape in one colour.
    return tinted(icon.pixmap(QSize(size, size), devicePixelRatio), color);
}

QLabel* symbolLabel(const QString& themeName, QStyle::StandardPixmap fallback, const QColor& color,
                    int size, const QString& accessibleName) {
    auto* label = new QLabel;
    label->setPixmap(symbolPixmap(themeName, fallback, color, size, label->devicePixelRatioF()));
    label->setFixedSize(size, size);
    label->setAccessibleName(accessibleName);
    return label;
}

}  // namespace zevirudi
