#include "notch/NotchGeometry.h"

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

// The same rectangle counted from the other end of a desktop `height` tall.
NotchRect flipped(const NotchRect& rect, double height) {
    return NotchRect{rect.x, height - rect.y - rect.height, rect.width, rect.height};
}

NotchScreen flipped(const NotchScreen& screen, double height) {
    NotchScreen result = screen;
    result.frame = flipped(screen.frame, height);
    result.visibleFrame = flipped(screen.visibleFrame, height);
    if (screen.auxiliaryTopLeftArea) {
        result.auxiliaryTopLeftArea = flipped(*screen.auxiliaryTopLeftArea, height);
    }
    if (screen.auxiliaryTopRightArea) {
        result.auxiliaryTopRightArea = flipped(*screen.auxiliaryTopRightArea, height);
    }
    return result;
}

// A notched screen, y growing upward, whose auxiliary areas leave `gap` points between them.
NotchScreen notchedScreen(double width, double height, double inset, double gap) {
    const double side = (width - gap) / 2;
    return NotchScreen{
        .frame = {0, 0, width, height},
        .visibleFrame = {0, 0, width, height - inset},
        .safeAreaTopInset = inset,
        .auxiliaryTopLeftArea = NotchRect{0, height - inset, side, inset},
        .auxiliaryTopRightArea = NotchRect{side + gap, height - inset, side, inset},
    };
}

NotchScreen plainScreen(NotchRect frame) {
    return NotchScreen{.frame = frame,
                       .visibleFrame = frame,
                       .safeAreaTopInset = 0,
                       .auxiliaryTopLeftArea = std::nullopt,
                       .auxiliaryTopRightArea = std::nullopt};
}

TEST(NotchGeometry, FramesHangFromTheTopInBothAxisConventions) {
    struct Row {
        const char* name;
        NotchScreen screenGrowingUp;
        NotchGeometry expectedGrowingUp;
    };
    NotchScreen oneArea = notchedScreen(1512, 982, 38, 200);
    oneArea.auxiliaryTopRightArea.reset();
    NotchScreen insetWithoutAreas = plainScreen({0, 0, 1512, 982});
    insetWithoutAreas.visibleFrame = {0, 0, 1512, 957};
    insetWithoutAreas.safeAreaTopInset = 38;
    NotchScreen secondPlain = plainScreen({1512, 0, 1920, 1080});
    secondPlain.visibleFrame = {1512, 40, 1920, 1040};
    const Row rows[] = {
        {"notch 200 wide, inset 38, 1512 wide",
         notchedScreen(1512, 982, 38, 200),
         {{446, 856, 620, 126}, {656, 944, 200, 38}, true, 38, 200}},
        {"notch gap 100 clamps to 160, inset 24 gives clearance 32",
         notchedScreen(1512, 982, 24, 100),
         {{446, 862, 620, 120}, {676, 950, 160, 32}, true, 32, 160}},
        {"notch gap 300 clamps to 260",
         notchedScreen(1512, 982, 38, 300),
         {{446, 856, 620, 126}, {626, 944, 260, 38}, true, 38, 260}},
        {"600 wide notched screen",
         notchedScreen(600, 400, 32, 200),
         {{16, 280, 568, 120}, {200, 368, 200, 32}, true, 32, 200}},
        {"one auxiliary area gives notch width 220",
         oneArea,
         {{446, 856, 620, 126}, {646, 944, 220, 38}, true, 38, 220}},
        {"inset without auxiliary areas is no notch",
         insetWithoutAreas,
         {{561, 809, 390, 136}, {668, 909, 176, 36}, false, 0, 0}},
        {"no notch, second screen with a bottom bar",
         secondPlain,
         {{2277, 932, 390, 136}, {2384, 1032, 176, 36}, false, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(notchGeometry(row.screenGrowingUp, VerticalAxis::growsUp), row.expectedGrowingUp);

        // The same desktop seen by Qt: y counted downward from the top of the tallest screen.
        const double desktopHeight = row.screenGrowingUp.frame.maxY();
        NotchGeometry expectedGrowingDown = row.expectedGrowingUp;
        expectedGrowingDown.expandedFrame =
            flipped(row.expectedGrowingUp.expandedFrame, desktopHeight);
        expectedGrowingDown.collapsedFrame =
            flipped(row.expectedGrowingUp.collapsedFrame, desktopHeight);
        EXPECT_EQ(
            notchGeometry(flipped(row.screenGrowingUp, desktopHeight), VerticalAxis::growsDown),
            expectedGrowingDown);
    }
}

TEST(NotchGeometry, QtScreenWithTopPanelHangsTwelveBelowIt) {
    // As Qt reports a 1920x1080 screen with a 27-pixel top bar: y counts downward.
    NotchScreen screen = plainScreen({0, 0, 1920, 1080});
    screen.visibleFrame = {0, 27, 1920, 1053};
    const NotchGeometry geometry = notchGeometry(screen, VerticalAxis::growsDown);
    EXPECT_EQ(geometry.expandedFrame, (NotchRect{765, 39, 390, 136}));
    EXPECT_EQ(geometry.collapsedFrame, (NotchRect{872, 39, 176, 36}));
    EXPECT_FALSE(geometry.joinsNotch);
}

TEST(NotchGeometry, ScreenChoicePrefersNotchThenPointerThenPrimary) {
    const NotchScreen left = plainScreen({0, 0, 1000, 800});
    const NotchScreen right = plainScreen({1000, 0, 1000, 800});
    const NotchScreen notched = notchedScreen(1512, 982, 38, 200);
    struct Row {
        const char* name;
        std::vector<NotchScreen> screens;
        double pointerX;
        double pointerY;
        std::optional<std::size_t> primary;
        std::optional<std::size_t> expected;
    };
    const Row rows[] = {
        {"no screens", {}, 10, 10, std::nullopt, std::nullopt},
        {"pointer on the second", {left, right}, 1500, 10, 0, 1},
        {"pointer on the right edge belongs to the next", {left, right}, 1000, 5, 0, 1},
        {"pointer nowhere, primary second", {left, right}, -50, -50, 1, 1},
        {"pointer nowhere, no primary", {left, right}, -50, -50, std::nullopt, 0},
        {"notched screen wins over the pointer", {left, notched}, 5, 5, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(chooseNotchScreen(row.screens, row.pointerX, row.pointerY, row.primary),
                  row.expected);
    }
}

}  // namespace
}  // namespace zevirudi
