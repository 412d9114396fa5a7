#pragma once

#include <QColor>
#include <QPalette>

class QPushButton;
class QWidget;

namespace zevirudi {

// The desktop screens' colours, derived from the desktop's palette so that they read on light and
// dark windows alike and change with it.
bool isDark(const QPalette& palette);
// Text that matters less than its neighbours: the window text faded toward the background.
QColor secondaryColour(const QPalette& palette);
QColor orangeColour(const QPalette& palette);
QColor greenColour(const QPalette& palette);
QColor redColour(const QPalette& palette);
QColor blueColour(const QPalette& palette);

// Sets the colour a label's text is drawn in, in and outside lists.
void setTextColour(QWidget* widget, const QColor& colour);
// The prominent look of a window's main action: its label on the accent colour.
void showAsMainAction(QPushButton* button);

}  // namespace zevirudi
