#include "notch/NotificationRunner.h"

#include "notch/NotchPanelController.h"
#include "support/LogSink.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QTimer>

#include <array>
#include <cstdlib>
#include <string>

namespace zevirudi {
namespace {

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The platforms to try, in order. X11 (or XWayland) comes first: the panel needs to place itself
// at the top of the screen and stay above other windows, which Wayland leaves to the compositor.
// An unreachable display must not abort the process, so the list ends in the offscreen platform,
// which is then recognised as "no screen".
std::string platformCandidates() {
    std::string candidates;
    if (isSet("DISPLAY")) {
        candidates += "xcb;";
    }
    if (isSet("WAYLAND_DISPLAY")) {
        candidates += "wayland;";
    }
    return candidates + "offscreen";
}

void presentAndWait(NotchPanelController& controller, const NotificationRunnerOptions& options,
                    const std::function<void()>& afterPresent) {
    QEventLoop loop;
    bool finished = false;
    controller.present([&] {
        finished = true;
        loop.quit();
    });
    afterPresent();
    if (finished) {
        return;
    }
    if (options.onPresented) {
        options.onPresented(controller);
    }
    if (!finished) {
        loop.exec();
    }
}

// Under X11 the clipboard's content lives in its owner: serve it until someone else owns the
// clipboard or the hold limit passes. At exit Qt hands it to a clipboard manager when one runs.
void serveClipboard(std::chrono::milliseconds holdLimit) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard->ownsClipboard()) {
        return;
    }
    QEventLoop loop;
    const auto quitWhenNotOwner = [&] {
        if (!clipboard->ownsClipboard()) {
            loop.quit();
        }
    };
    // The owner-change notice may arrive before the selection-clear event that ends our
    // ownership, so a change is not enough on its own: ownership is also checked now and then.
    QObject::connect(clipboard, &QClipboard::dataChanged, &loop, quitWhenNotOwner);
    QTimer ownershipCheck;
    QObject::connect(&ownershipCheck, &QTimer::timeout, &loop, quitWhenNotOwner);
    ownershipCheck.start(std::chrono::milliseconds(500));
    QTimer::singleShot(holdLimit, &loop, [&] { loop.quit(); });
    loop.exec();
}

}  // namespace

int showNotifications(const std::vector<NotchNotification>& notifications) {
    return showNotifications(notifications, NotificationRunnerOptions{});
}

int showNotifications(const std::vector<NotchNotification>& notifications,
                      const NotificationRunnerOptions& options) {
    if (notifications.empty()) {
        return 0;
    }
    // The panel chooses its platform itself: one inherited from the session (Wayland sessions
    // export "wayland") would bypass the X11 preference and the fallback for an unreachable
    // display, and Qt aborts when the platform it is told to use cannot start.
    ::unsetenv("QT_QPA_PLATFORM");
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
        loftwing::logMessage(loftwing::LogLevel::warning, "panel", "no display to show on");
        return 0;
    }
    std::string programName = "zevirudi";
    std::string platformFlag = "-platform";
    std::string platform = platformCandidates();
    std::array<char*, 4> arguments{programName.data(), platformFlag.data(), platform.data(),
                                   nullptr};
    int argumentCount = 3;
    // The panel paints in software; loading the OpenGL stack for its first window costs more
    // than a hundred milliseconds before anything shows. Not passed on to the browser we start.
    const bool skipsOpenGL = !isSet("QT_XCB_GL_INTEGRATION");
    if (skipsOpenGL) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    }
    QApplication application(argumentCount, arguments.data());
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) {
        loftwing::logMessage(loftwing::LogLevel::warning, "panel", "no display could be reached");
        return 0;
    }
    QApplication::setQuitOnLastWindowClosed(false);

    for (const auto& notification : notifications) {
        NotchPanelController controller(notification, options.timings);
        presentAndWait(controller, options, [&] {
            // Read once, when the first window is created; it has been by now.
            if (skipsOpenGL) {
                qunsetenv("QT_XCB_GL_INTEGRATION");
            }
        });
    }
    if (options.onPanelsGone) {
        options.onPanelsGone();
    }
    serveClipboard(options.clipboardHoldLimit);
    return 0;
}

}  // namespace zevirudi
