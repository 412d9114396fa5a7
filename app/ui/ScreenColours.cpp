#include "ui/ScreenColours.h"

#include <QPushButton>
#include <QWidget>

namespace zevirudi {

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor secondaryColour(const QPalette& palette) {
    const QColor text = palette.color(QPalette::WindowText);
    const QColor window = palette.color(QPalette::Window);
    return QColor::fromRgbF(text.redF() * 0.62f + window.redF() * 0.38f,
                            text.greenF() * 0.62f + window.greenF() * 0.38f,
                            text.blueF() * 0.62f + window.blueF() * 0.38f);
}

QColor orangeColour(const QPalette& palette) {
    return isDark(palette) ? QColor(0xff, 0xa3, 0x48) : QColor(0xc6, 0x5d, 0x00);
}

QColor greenColour(const QPalette& palette) {
    return isDark(palette) ? QColor(0x57, 0xe3, 0x89) : QColor(0x1c, 0x7c, 0x3f);
}

QColor redColour(const QPalette& palette) {
    return isDark(palette) ? QColor(0xff, 0x7b, 0x63) : QColor(0xc0, 0x1c, 0x28);
}

QColor blueColour(const QPalette& palette) {
    return isDark(palette) ? QColor(0x62, 0xa0, 0xea) : QColor(0x1c, 0x71, 0xd8);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}

void showAsMainAction(QPushButton* button) {
    // Styles lighten and fade a button colour taken from the palette, which leaves white text on
    // pale blue; the accent fill is drawn here instead. Recomputed on every palette change.
    const QPalette colours =
        button->parentWidget() != nullptr ? button->parentWidget()->palette() : button->palette();
    const QColor accent = colours.color(QPalette::Active, QPalette::Highlight);
    button->setStyleSheet(QString());
    const int height = button->sizeHint().height();
    button->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: %2; border: 1px solid %3;"
                       " border-radius: 4px; padding: 0 14px; min-height: %4px; }"
                       "QPushButton:hover { background: %5; }"
                       "QPushButton:pressed { background: %3; }"
                       "QPushButton:focus { border: 2px solid %6; }"
                       "QPushButton:disabled { background: %7; color: %8; border-color: %9; }")
            .arg(accent.name(), colours.color(QPalette::HighlightedText).name(),
                 accent.darker(125).name())
            .arg(height - 2)
            .arg(accent.lighter(110).name(),
                 isDark(colours) ? accent.lighter(160).name() : accent.darker(170).name(),
                 colours.color(QPalette::Button).name(),
                 colours.color(QPalette::Disabled, QPalette::ButtonText).name(),
                 colours.color(QPalette::Mid).name()));
}

}  // namespace zevirudi
