#include "notch/NotchScreens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>

namespace zevirudi {
namespace {

NotchRect notchRect(const QRect& rect) {
    return NotchRect{static_cast<double>(rect.x()), static_cast<double>(rect.y()),
                     static_cast<double>(rect.width()), static_cast<double>(rect.height())};
}

}  // namespace

std::optional<ChosenNotchScreen> chooseScreenForNotch() {
    const QList<QScreen*> qtScreens = QGuiApplication::screens();
    std::vector<NotchScreen> screens;
    std::optional<std::size_t> primary;
    for (QScreen* screen : qtScreens) {
        if (screen == QGuiApplication::primaryScreen()) {
            primary = screens.size();
        }
        // Qt knows of no camera housing; no safe area and no auxiliary areas.
        screens.push_back(NotchScreen{.frame = notchRect(screen->geometry()),
                                      .visibleFrame = notchRect(screen->availableGeometry()),
                                      .safeAreaTopInset = 0,
                                      .auxiliaryTopLeftArea = std::nullopt,
                                      .auxiliaryTopRightArea = std::nullopt});
    }
    const QPoint pointer = QCursor::pos();
    const auto index = chooseNotchScreen(screens, pointer.x(), pointer.y(), primary);
    if (!index) {
        return std::nullopt;
    }
    return ChosenNotchScreen{qtScreens[static_cast<qsizetype>(*index)],
                             notchGeometry(screens[*index], VerticalAxis::growsDown)};
}

}  // namespace zevirudi
