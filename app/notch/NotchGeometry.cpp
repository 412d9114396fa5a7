#include "notch/NotchGeometry.h"

#include <algorithm>

namespace zevirudi {
namespace {

constexpr double minimumNotchClearance = 32;
constexpr double minimumNotchWidth = 160;
constexpr double maximumNotchWidth = 260;
constexpr double notchWidthWithoutBothAreas = 220;
constexpr double belowMenuBarGap = 12;

double measuredNotchWidth(const NotchScreen& screen) {
    if (!screen.auxiliaryTopLeftArea || !screen.auxiliaryTopRightArea) {
        return notchWidthWithoutBothAreas;
    }
    const double gap = screen.auxiliaryTopRightArea->minX() - screen.auxiliaryTopLeftArea->maxX();
    return std::clamp(gap, minimumNotchWidth, maximumNotchWidth);
}

// A frame of the given size centred on midX whose top edge is `top`.
NotchRect hangingFrame(double midX, double top, double width, double height, VerticalAxis axis) {
    const double y = axis == VerticalAxis::growsDown ? top : top - height;
    return NotchRect{midX - width / 2, y, width, height};
}

double topEdge(const NotchRect& rect, VerticalAxis axis) {
    return axis == VerticalAxis::growsDown ? rect.minY() : rect.maxY();
}

}  // namespace

NotchGeometry notchGeometry(const NotchScreen& screen, VerticalAxis axis) {
    const double midX = screen.frame.midX();
    if (!screen.hasNotch()) {
        // Drops in a little below the top of the usable area (under the panel or menu bar).
        const double visibleTop = topEdge(screen.visibleFrame, axis);
        const double top = axis == VerticalAxis::growsDown ? visibleTop + belowMenuBarGap
                                                           : visibleTop - belowMenuBarGap;
        return NotchGeometry{
            .expandedFrame = hangingFrame(midX, top, 390, 136, axis),
            .collapsedFrame = hangingFrame(midX, top, 176, 36, axis),
            .joinsNotch = false,
            .notchClearance = 0,
            .notchWidth = 0,
        };
    }
    const double clearance = std::max(screen.safeAreaTopInset, minimumNotchClearance);
    const double notchWidth = measuredNotchWidth(screen);
    const double top = topEdge(screen.frame, axis);
    const double expandedWidth = std::min(screen.frame.width - 32, 620.0);
    return NotchGeometry{
        .expandedFrame = hangingFrame(midX, top, expandedWidth, clearance + 88, axis),
        .collapsedFrame = hangingFrame(midX, top, notchWidth, clearance, axis),
        .joinsNotch = true,
        .notchClearance = clearance,
        .notchWidth = notchWidth,
    };
}

std::optional<std::size_t> chooseNotchScreen(const std::vector<NotchScreen>& screens,
                                             double pointerX, double pointerY,
                                             std::optional<std::size_t> primaryScreen) {
    for (std::size_t index = 0; index < screens.size(); ++index) {
        if (screens[index].hasNotch()) {
            return index;
        }
    }
    for (std::size_t index = 0; index < screens.size(); ++index) {
        if (screens[index].frame.contains(pointerX, pointerY)) {
            return index;
        }
    }
    if (primaryScreen && *primaryScreen < screens.size()) {
        return primaryScreen;
    }
    if (!screens.empty()) {
        return 0;
    }
    return std::nullopt;
}

}  // namespace zevirudi
