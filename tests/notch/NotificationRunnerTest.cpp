#include "notch/NotificationRunner.h"

#include "NotchTestNotifications.h"
#include "helpers/Process.h"
#include "helpers/QtTestApplication.h"
#include "helpers/XvfbServer.h"
#include "notch/NotchNotificationView.h"
#include "notch/NotchPanel.h"
#include "notch/NotchPanelController.h"

#include <QGuiApplication>
#include <QImage>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zevirudi {
namespace {

using loftwing::test::codeNotification;

using namespace std::chrono_literals;

// Runs `body` in a forked child (its own Qt application, its own environment) and returns its pid.
pid_t runInChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    return child;
}

// The child's exit status when it ends within the limit; nothing otherwise (it is then killed).
std::optional<int> waitForExit(pid_t child, std::chrono::milliseconds limit) {
    const int handle = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    pollfd exited{handle, POLLIN, 0};
    const bool ended = poll(&exited, 1, static_cast<int>(limit.count())) == 1;
    close(handle);
    int status = 0;
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return std::nullopt;
    }
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The clipboard as another X client on `display` sees it.
std::string clipboardOf(const std::string& display) {
    loftwing::test::Process reader({"sh", "-c", "exec xclip -selection clipboard -o 2>/dev/null"},
                                   {.environment = {{"DISPLAY", display}}});
    const std::string text = reader.readToEnd(10s);
    reader.wait(10s);
    return text;
}

TEST(NotificationRunner, CopiedCodeOutlivesThePanelUntilAnotherProgramTakesTheClipboard) {
    loftwing::test::XvfbServer server;
    int panelsGone[2];
    ASSERT_EQ(pipe(panelsGone), 0);

    const pid_t child = runInChild([&] {
        close(panelsGone[0]);
        // As under Sway or Hyprland: the session exports Wayland, the panel still takes X11.
        setenv("QT_QPA_PLATFORM", "wayland", 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("DISPLAY", server.display().c_str(), 1);
        NotificationRunnerOptions options;
        options.timings = NotchTimings{.expandDelay = 5ms,
                                       .expandDuration = 20ms,
                                       .collapseDuration = 20ms,
                                       .finishDelay = 30ms,
                                       .dismissalDelay = 30s};
        options.clipboardHoldLimit = 60s;
        bool lookedRight = false;
        options.onPresented = [&lookedRight](NotchPanelController& controller) {
            // Once the panel has grown: photograph the real X screen, then press the button.
            QTimer::singleShot(150, &controller, [&controller, &lookedRight] {
                NotchPanel* panel = controller.panel();
                QPushButton* button = panel->contentView()->actionButton();
                panel->repaint();
                const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
                const QRect frame = panel->geometry();
                screen.copy(frame).save(loftwing::test::screenshotPath("xvfb-code-panel"));
                const QPoint buttonPoint = button->mapToGlobal(QPoint(4, button->height() / 2));
                const QPoint bodyPoint = frame.center() + QPoint(0, frame.height() / 2 - 4);
                const QColor buttonColour(screen.pixel(buttonPoint));
                const QColor bodyColour(screen.pixel(bodyPoint));
                lookedRight = frame.size() == QSize(390, 136) && buttonColour.saturation() > 100 &&
                              bodyColour.value() < 16;
                button->click();
            });
        };
        options.onPanelsGone = [&] {
            [[maybe_unused]] const auto written = write(panelsGone[1], "x", 1);
        };
        const int result = showNotifications({codeNotification("K7Q48213")}, options);
        return lookedRight ? result : 5;
    });
    close(panelsGone[1]);

    pollfd gone{panelsGone[0], POLLIN, 0};
    ASSERT_EQ(poll(&gone, 1, 20'000), 1) << "the panel never went away";
    close(panelsGone[0]);

    // Another process reads the code although the panel is closed.
    EXPECT_EQ(clipboardOf(server.display()), "K7Q48213");

    // Once another program owns the clipboard, the panel's process has nothing left to serve.
    // The new owner answers one request and leaves.
    loftwing::test::Process otherOwner(
        {"sh", "-c", "printf other | xclip -selection clipboard -quiet -loops 1 -i 2>/dev/null"},
        {.pipeOutput = false, .environment = {{"DISPLAY", server.display()}}});
    EXPECT_EQ(waitForExit(child, 20s), 0);
    EXPECT_EQ(clipboardOf(server.display()), "other");
    EXPECT_EQ(otherOwner.wait(10s), 0);
}

}  // namespace
}  // namespace zevirudi
