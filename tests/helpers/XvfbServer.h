#pragma once

#include "helpers/Process.h"

#include <QApplication>
#include <QStyleFactory>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string>

namespace loftwing::test {

// A private X server for one test: Xvfb on a display number it picks itself (-displayfd), with
// no TCP listener. Stopped with SIGTERM, so that it removes its socket and lock file, and reaped.
class XvfbServer {
  public:
    explicit XvfbServer(const std::string& screen = "1512x982x24",
                        std::chrono::milliseconds startLimit = std::chrono::seconds(15))
        : xvfb_({"Xvfb", "-displayfd", "1", "-nolisten", "tcp", "-screen", "0", screen}) {
        // Xvfb writes the display number and a newline once it accepts connections.
        const auto number = xvfb_.readLine(startLimit);
        if (!number) {
            throw std::runtime_error("Xvfb did not start");
        }
        display_ = ":" + *number;
    }

    ~XvfbServer() {
        xvfb_.signal(SIGTERM);
        xvfb_.wait(std::chrono::seconds(10));
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // The DISPLAY value, such as ":3".
    const std::string& display() const { return display_; }

  private:
    Process xvfb_;
    std::string display_;
};

// The main of a screenshot test: a private X server, and on it the one application, in Fusion.
// The server outlives the application, which exists before any test runs.
inline int screenshotTestMain(int argc, char** argv) {
    XvfbServer server("1280x1024x24");
    ::setenv("DISPLAY", server.display().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::unsetenv("WAYLAND_DISPLAY");
    // No session bus: D-Bus would otherwise start a daemon of its own through the display and
    // leave it behind.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace loftwing::test
