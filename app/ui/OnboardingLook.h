#pragma once

#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QString>
#include <QStyle>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

namespace zevirudi {

// The shared look of the onboarding steps and their demos. Everything follows the desktop's
// palette and font, so light and dark themes both read well.

// The steps' left and right margin, which the header and the button bar line up with.
constexpr int onboardingPageMargin = 36;

QLabel* textLabel(const QString& text, qreal scale = 1.0, QFont::Weight weight = QFont::Normal);
// Quieter text in the palette's placeholder colour.
QLabel* secondaryLabel(const QString& text, qreal scale = 1.0);
// A rounded panel on the palette's base colour with a hairline border.
QFrame* card(QWidget* parent = nullptr);
// The palette's highlight as a button fill: the desktop's "suggested action".
void makeProminent(QPushButton* button);

// Room around a button's text, sized for the longest text it will show.
void roomy(QPushButton* button, const QString& longestText = QString());
// A list row's selection mark: a filled circle with a tick when selected, else an empty ring.
QPixmap selectionMark(bool selected, const QWidget* widget, int size, qreal devicePixelRatio);

// Status colours that stay readable on light and dark windows.
QColor successColor(const QWidget* widget);
QColor warningColor(const QWidget* widget);
QColor errorColor(const QWidget* widget);

// A symbol from the desktop's icon theme (the "-symbolic" variant first), else from the
// installed Adwaita symbols, else the style's own standard icon; drawn in one colour the way the
// desktop draws symbolic icons.
QPixmap symbolPixmap(const QString& themeName, QStyle::StandardPixmap fallback, const QColor& color,
                     int size, qreal devicePixelRatio);
// The same as a label, with an accessible name for what it means.
QLabel* symbolLabel(const QString& themeName, QStyle::StandardPixmap fallback, const QColor& color,
                    int size, const QString& accessibleName = QString());

}  // namespace zevirudi
