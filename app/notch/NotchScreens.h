#pragma once

#include "notch/NotchGeometry.h"

#include <optional>

class QScreen;

namespace zevirudi {

struct ChosenNotchScreen {
    QScreen* screen = nullptr;
    NotchGeometry geometry;  // in Qt's desktop coordinates
};

// The screen the panel appears on, among the application's screens, and the panel's frames there.
// Nothing when the application has no screen.
std::optional<ChosenNotchScreen> chooseScreenForNotch();

}  // namespace zevirudi
