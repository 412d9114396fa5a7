#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace zevirudi {

// A rectangle in screen points. Which way y grows is the caller's: see VerticalAxis.
struct NotchRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double maxX() const { return x + width; }
    double minY() const { return y; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    bool contains(double pointX, double pointY) const {
        return pointX >= x && pointX < maxX() && pointY >= y && pointY < maxY();
    }

    friend bool operator==(const NotchRect&, const NotchRect&) = default;
};

// Qt and X11 count y downward from the top of the desktop; the other convention counts it upward
// from the bottom, so a screen's top edge is its largest y.
enum class VerticalAxis { growsDown, growsUp };

// What the panel needs to know about one screen. Linux screens report no safe area and no
// auxiliary areas, which selects the geometry without a notch.
struct NotchScreen {
    NotchRect frame;
    NotchRect visibleFrame;
    double safeAreaTopInset = 0;
    std::optional<NotchRect> auxiliaryTopLeftArea;
    std::optional<NotchRect> auxiliaryTopRightArea;

    bool hasNotch() const {
        return safeAreaTopInset > 0 && (auxiliaryTopLeftArea || auxiliaryTopRightArea);
    }
};

struct NotchGeometry {
    NotchRect expandedFrame;
    NotchRect collapsedFrame;
    bool joinsNotch = false;
    double notchClearance = 0;  // 0 without a notch
    double notchWidth = 0;      // 0 without a notch

    friend bool operator==(const NotchGeometry&, const NotchGeometry&) = default;
};

// The panel's frames on the screen, both centred on the screen and hanging from its top edge.
NotchGeometry notchGeometry(const NotchScreen& screen, VerticalAxis axis);

// The screen to show the panel on: the first with a notch, else the first containing the pointer,
// else the primary one, else the first. Nothing when there are no screens.
std::optional<std::size_t> chooseNotchScreen(const std::vector<NotchScreen>& screens,
                                             double pointerX, double pointerY,
                                             std::optional<std::size_t> primaryScreen);

}  // namespace zevirudi
