// Measures, under a private Xvfb, the time from NotchPanelController::present() to the end of the
// panel's first paint (the frame is flushed to the X server right after), beside the same for a
// bare frameless window of the same size, interleaved in one run; and the process's peak
// resident memory while a panel shows.
//
// Usage: notch_first_frame_bench [iterations]

#include "helpers/XvfbServer.h"
#include "notch/NotchNotificationView.h"
#include "notch/NotchPanelController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Notes when a paint of the watched widget has been fully handled.
class MeasuringApplication : public QApplication {
  public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        const bool isWatchedPaint = event->type() == QEvent::Paint && receiver == watched;
        const bool result = QApplication::notify(receiver, event);
        if (isWatchedPaint && !painted) {
            painted = Clock::now();
            if (loop != nullptr) {
                loop->quit();
            }
        }
        return result;
    }

    QObject* watched = nullptr;
    std::optional<Clock::time_point> painted;
    QEventLoop* loop = nullptr;
};

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

// Runs the loop until the watched widget painted, for at most five seconds.
bool waitForPaint(MeasuringApplication& app) {
    if (app.painted) {
        return true;
    }
    QEventLoop loop;
    app.loop = &loop;
    QTimer::singleShot(5s, &loop, &QEventLoop::quit);
    loop.exec();
    app.loop = nullptr;
    return app.painted.has_value();
}

zevirudi::NotchNotification sampleNotification() {
    return loftwing::CodeNotificationPayload{.code = "482913",
                                             .destinationHost = "accounts.example.com",
                                             .source = "Example Security",
                                             .accountEmail = "me@example.com",
                                             .providerLabel = "Gmail",
                                             .wasCopied = false};
}

}  // namespace

int main(int argc, char** argv) {
    const int iterations = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    loftwing::test::XvfbServer server("1920x1080x24");
    setenv("DISPLAY", server.display().c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");

    const auto beforeApplication = Clock::now();
    int qtArgc = 1;
    MeasuringApplication app(qtArgc, argv);
    const double applicationMs = milliseconds(Clock::now() - beforeApplication);

    zevirudi::NotchTimings timings;
    timings.dismissalDelay = 10min;
    timings.finishDelay = 0ms;
    timings.collapseDuration = 0ms;

    std::vector<double> panelMs;
    std::vector<double> bareMs;
    long peakWhileShowingKb = 0;
    long residentWhileShowingKb = 0;
    for (int iteration = 0; iteration < iterations; ++iteration) {
        // The panel.
        {
            zevirudi::NotchPanelController controller(sampleNotification(), timings);
            app.painted.reset();
            bool finished = false;
            const auto start = Clock::now();
            controller.present([&] { finished = true; });
            app.watched = controller.panel()->contentView();
            if (!waitForPaint(app)) {
                std::fprintf(stderr, "the panel never painted\n");
                return 1;
            }
            panelMs.push_back(milliseconds(*app.painted - start));
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            peakWhileShowingKb = std::max(peakWhileShowingKb, usage.ru_maxrss);
            residentWhileShowingKb = std::max(residentWhileShowingKb, residentKilobytes());
            controller.dismiss();
            while (!finished) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        // A bare window of the same size with the same flags, as the floor.
        {
            QWidget bare(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                      Qt::WindowDoesNotAcceptFocus |
                                      Qt::X11BypassWindowManagerHint);
            bare.setGeometry(872, 39, 176, 36);
            app.watched = &bare;
            app.painted.reset();
            const auto start = Clock::now();
            bare.show();
            if (!waitForPaint(app)) {
                std::fprintf(stderr, "the bare window never painted\n");
                return 1;
            }
            bareMs.push_back(milliseconds(*app.painted - start));
        }
    }

    std::printf("iterations: %d\n", iterations);
    std::printf("QApplication creation (xcb on Xvfb): %.1f ms\n", applicationMs);
    std::printf("present() to first painted frame: first %.2f ms, median %.2f ms\n", panelMs[0],
                median(panelMs));
    std::printf("bare window show() to first painted frame: first %.2f ms, median %.2f ms\n",
                bareMs[0], median(bareMs));
    std::printf("ratio panel / bare window (medians): %.2f\n", median(panelMs) / median(bareMs));
    std::printf("peak RSS while the panel shows: %ld KiB (VmRSS %ld KiB)\n", peakWhileShowingKb,
                residentWhileShowingKb);
    return 0;
}
