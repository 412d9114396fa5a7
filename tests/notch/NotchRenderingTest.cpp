#include "notch/NotchNotificationView.h"

#include "NotchTestNotifications.h"
#include "helpers/QtTestApplication.h"
#include "notch/AttachedNotchShape.h"
#include "notch/NotchNotificationText.h"

#include <QAbstractButton>
#include <QImage>
#include <QPushButton>

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

using loftwing::test::codeNotification;

bool isTransparent(const QImage& image, int x, int y) {
    return qAlpha(image.pixel(x, y)) < 16;
}

bool isOpaqueBlack(const QImage& image, int x, int y) {
    const QRgb pixel = image.pixel(x, y);
    return qAlpha(pixel) > 240 && qRed(pixel) < 16 && qGreen(pixel) < 16 && qBlue(pixel) < 16;
}

// Bluish and bright: the accent button, not the black body nor white text.
bool isAccent(const QImage& image, QPoint point) {
    const QColor color(image.pixel(point));
    return color.alpha() > 240 && color.saturation() > 100 && color.value() > 100;
}

TEST(NotchRendering, PanelsLookLikeASystemNotification) {
    loftwing::test::qtTestApplication();
    struct Row {
        const char* file;
        NotchNotification notification;
        bool joinsNotch;
        QSize size;
        std::string label;
    };
    const Row rows[] = {
        {"code-panel", codeNotification(), false, QSize(390, 136), "Copy Code"},
        {"code-panel-notch", codeNotification(), true, QSize(620, 126), "Copy Code"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.file);
        NotchNotificationView view(row.notification, row.joinsNotch, row.joinsNotch ? 38 : 0,
                                   row.joinsNotch ? 200 : 0, {});
        view.resize(row.size);
        view.setLayoutSize(row.size);
        const QImage image = view.grab().toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_TRUE(image.save(loftwing::test::screenshotPath(row.file)));
        ASSERT_EQ(image.size(), row.size);

        EXPECT_EQ(view.accessibleName().toStdString(), notificationTitle(row.notification));
        EXPECT_EQ(view.closeButton()->accessibleName().toStdString(),
                  std::string(closeButtonAccessibleName));
        EXPECT_EQ(view.actionButton()->text().toStdString(), row.label);

        const int right = image.width() - 1;
        const int bottom = image.height() - 1;
        EXPECT_TRUE(isTransparent(image, 0, bottom));
        EXPECT_TRUE(isTransparent(image, right, bottom));
        EXPECT_TRUE(isOpaqueBlack(image, image.width() / 2, bottom - 3));
        if (row.joinsNotch) {
            // The shoulders flare into the top edge; the body itself starts 16 in.
            EXPECT_TRUE(isOpaqueBlack(image, 6, 0));
            EXPECT_TRUE(isOpaqueBlack(image, right - 6, 0));
            EXPECT_TRUE(isTransparent(image, 4, 40));
        } else {
            EXPECT_TRUE(isTransparent(image, 0, 0));
        }
        const QRect button = view.actionButton()->geometry();
        EXPECT_TRUE(isAccent(image, button.topLeft() + QPoint(4, button.height() / 2)));
        EXPECT_TRUE(QRect(QPoint(0, 0), row.size).contains(button));
        EXPECT_TRUE(QRect(QPoint(0, 0), row.size).contains(view.closeButton()->geometry()));
        EXPECT_FALSE(button.intersects(view.closeButton()->geometry()));
    }
}

TEST(AttachedNotchShape, OutlineFlaresAtTheTopAndRoundsAtTheBottom) {
    const QPainterPath path = AttachedNotchShape{}.path(QRectF(0, 0, 200, 100));
    EXPECT_EQ(path.boundingRect(), QRectF(0, 0, 200, 100));
    struct Row {
        const char* name;
        QPointF point;
        bool inside;
    };
    const Row rows[] = {
        {"just inside the body's left edge", {17, 50}, true},
        {"left of the body", {10, 50}, false},
        {"top-left shoulder", {8, 1}, true},
        {"left of the shoulder curve", {2, 1}, false},
        {"under the left shoulder", {5, 12}, false},
        {"bottom-left corner cut by the radius", {18, 98}, false},
        {"bottom edge in the middle", {100, 99}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(path.contains(row.point), row.inside);
    }
}

}  // namespace
}  // namespace zevirudi
