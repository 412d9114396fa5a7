#include "notch/NotchPanelController.h"

#include "NotchTestNotifications.h"
#include "helpers/QtTestApplication.h"
#include "notch/NotchNotificationView.h"
#include "notch/NotchPanel.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace zevirudi {
namespace {

using loftwing::test::codeNotification;
using loftwing::test::linkNotification;

using namespace std::chrono_literals;

constexpr int waitLimitMs = 5000;

// Short enough to keep the tests quick, far enough apart to tell the phases apart.
NotchTimings shortTimings(std::chrono::milliseconds dismissal = 10s) {
    return NotchTimings{.expandDelay = 5ms,
                        .expandDuration = 20ms,
                        .collapseDuration = 20ms,
                        .finishDelay = 30ms,
                        .dismissalDelay = dismissal};
}

// Records what the panel asked of the desktop.
struct RecordedActions {
    std::vector<std::string> openedLinks;
    int beeps = 0;
    bool browserExists = true;

    NotchActions actions() {
        return NotchActions{.openLink =
                                [this](const std::string& url) {
                                    openedLinks.push_back(url);
                                    return browserExists;
                                },
                            .beep = [this] { ++beeps; }};
    }
};

class NotchPanelControllerTest : public ::testing::Test {
  protected:
    void SetUp() override { loftwing::test::qtTestApplication(); }

    // Presents and returns once the panel has grown to its full size.
    void presentExpanded(NotchPanelController& controller) {
        controller.present([this] { ++resumptions; });
        ASSERT_NE(controller.panel(), nullptr);
        const NotchRect expanded = controller.geometry().expandedFrame;
        const QRect target(static_cast<int>(expanded.x), static_cast<int>(expanded.y),
                           static_cast<int>(expanded.width), static_cast<int>(expanded.height));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return controller.panel() && controller.panel()->geometry() == target; },
            waitLimitMs));
    }

    bool waitForResumption(int count = 1) {
        return QTest::qWaitFor([&] { return resumptions >= count; }, waitLimitMs);
    }

    static void sendHover(NotchPanelController& controller, bool inside) {
        NotchNotificationView* view = controller.panel()->contentView();
        if (inside) {
            QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
            QCoreApplication::sendEvent(view, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QCoreApplication::sendEvent(view, &leave);
        }
    }

    int resumptions = 0;
};

TEST_F(NotchPanelControllerTest, ShowsCollapsedThenGrowsOnTheChosenScreen) {
    NotchPanelController controller(codeNotification(), shortTimings());
    controller.present([this] { ++resumptions; });

    // The offscreen platform has one screen without a notch.
    const NotchGeometry& geometry = controller.geometry();
    EXPECT_FALSE(geometry.joinsNotch);
    ASSERT_NE(controller.panel(), nullptr);
    EXPECT_TRUE(controller.panel()->isVisible());
    EXPECT_EQ(controller.panel()->width(), 176);
    EXPECT_TRUE(controller.panel()->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(controller.isDismissalPending());

    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.panel()->width() == 390; }, waitLimitMs));
    EXPECT_EQ(resumptions, 0);
    controller.dismiss();
    ASSERT_TRUE(waitForResumption());
}

TEST_F(NotchPanelControllerTest, RacingDismissalsCollapseAndResumeOnce) {
    struct Row {
        const char* name;
        std::function<void(NotchPanelController&)> dismissTwice;
    };
    const Row rows[] = {
        {"close pressed twice",
         [](NotchPanelController& controller) {
             // Through the mouse events, as a person would.
             QAbstractButton* close = controller.panel()->contentView()->closeButton();
             QTest::mouseClick(close, Qt::LeftButton);
             QTest::mouseClick(close, Qt::LeftButton);
         }},
        {"close pressed as the timer fires",
         [](NotchPanelController& controller) {
             // Both become due in the same turn of the event loop.
             QTimer::singleShot(0, &controller, [&controller] { controller.dismiss(); });
         }},
        {"action then close",
         [](NotchPanelController& controller) {
             controller.panel()->contentView()->actionButton()->click();
             controller.panel()->contentView()->closeButton()->click();
         }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        resumptions = 0;
        const bool timerRace = std::string(row.name).find("timer") != std::string::npos;
        NotchPanelController controller(
            codeNotification(), shortTimings(timerRace ? 300ms : std::chrono::milliseconds(10s)));
        presentExpanded(controller);
        if (timerRace) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return controller.isFinishing(); }, waitLimitMs));
            // The timer won; the close that follows it changes nothing.
        }
        row.dismissTwice(controller);
        EXPECT_TRUE(controller.isFinishing());
        EXPECT_FALSE(controller.isDismissalPending());
        ASSERT_TRUE(waitForResumption());
        EXPECT_EQ(controller.panel(), nullptr);
        controller.dismiss();
        // Give any stray second finish the time it would need to show up.
        QTest::qWait(100);
        EXPECT_EQ(resumptions, 1);
    }
}

TEST_F(NotchPanelControllerTest, PointerOnThePanelHoldsItAndLeavingRestartsTheFullDelay) {
    const auto dismissal = 150ms;
    NotchPanelController controller(linkNotification("https://shop.example.org/x"),
                                    shortTimings(dismissal));
    presentExpanded(controller);
    sendHover(controller, true);
    EXPECT_FALSE(controller.isDismissalPending());
    QTest::qWait(static_cast<int>(dismissal.count() * 4));
    EXPECT_FALSE(controller.isFinishing());
    EXPECT_NE(controller.panel(), nullptr);

    QElapsedTimer sinceLeaving;
    sinceLeaving.start();
    sendHover(controller, false);
    EXPECT_TRUE(controller.isDismissalPending());
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.isFinishing(); }, waitLimitMs));
    // Coarse Qt timers may fire up to 5 % early.
    EXPECT_GE(sinceLeaving.elapsed(), dismissal.count() * 9 / 10);
    ASSERT_TRUE(waitForResumption());
    EXPECT_EQ(resumptions, 1);
}

TEST_F(NotchPanelControllerTest, LinkOpensInTheBrowserOrBeepsAndStays) {
    struct Row {
        const char* name;
        std::string url;
        bool browserExists;
        bool opens;
    };
    const Row rows[] = {
        {"browser present", "https://shop.example.org/magic?t=1", true, true},
        {"no browser", "https://shop.example.org/magic?t=1", false, false},
        {"link that does not parse", "https://shop.example.org/a b", true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        resumptions = 0;
        RecordedActions recorded;
        recorded.browserExists = row.browserExists;
        NotchPanelController controller(linkNotification(row.url), shortTimings(),
                                        recorded.actions());
        presentExpanded(controller);
        controller.panel()->contentView()->actionButton()->click();
        if (row.opens) {
            EXPECT_EQ(recorded.openedLinks, std::vector<std::string>{row.url});
            EXPECT_EQ(recorded.beeps, 0);
            ASSERT_TRUE(waitForResumption());
            continue;
        }
        EXPECT_EQ(recorded.beeps, 1);
        EXPECT_FALSE(controller.isFinishing());
        EXPECT_TRUE(controller.isDismissalPending());
        ASSERT_NE(controller.panel(), nullptr);
        EXPECT_TRUE(controller.panel()->isVisible());
        controller.panel()->contentView()->closeButton()->click();
        ASSERT_TRUE(waitForResumption());
        EXPECT_EQ(resumptions, 1);
    }
}

TEST_F(NotchPanelControllerTest, CallbacksOutlivingTheControllerDoNothing) {
    auto controller = std::make_unique<NotchPanelController>(codeNotification(), shortTimings());
    presentExpanded(*controller);
    QPointer<NotchPanel> panel = controller->panel();
    controller.reset();
    EXPECT_TRUE(panel.isNull());
    QTest::qWait(50);
    EXPECT_EQ(resumptions, 0);
}

TEST_F(NotchPanelControllerTest, PresentsOnlyOnce) {
    NotchPanelController controller(codeNotification(), shortTimings());
    presentExpanded(controller);
    NotchPanel* first = controller.panel();
    controller.present([this] { resumptions += 100; });
    EXPECT_EQ(controller.panel(), first);
    controller.dismiss();
    ASSERT_TRUE(waitForResumption());
    QTest::qWait(50);
    EXPECT_EQ(resumptions, 1);
}

}  // namespace
}  // namespace zevirudi
