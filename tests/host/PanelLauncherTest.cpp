// What happens to a notification after the answer is written: the browser cannot be told any
// more, so every failure must reach the log, from whichever process meets it.

#include "host/PanelLauncher.h"

#include "support/LogSink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace zevirudi {
namespace {

using namespace std::chrono_literals;

// Appends each line to a file it opens per line: the panel's processes close every descriptor
// they inherit, so a sink holding one open would go silent there.
class FileAppendingSink final : public loftwing::LogSink {
  public:
    explicit FileAppendingSink(std::string path) : path_(std::move(path)) {}
    void write(loftwing::LogLevel, std::string_view category,
               std::string_view message) noexcept override {
        const std::string line = std::string(category) + ": " + std::string(message) + "\n";
        const int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0) {
            const ssize_t written = ::write(fd, line.data(), line.size());
            ::close(fd);
            static_cast<void>(written);
        }
    }

  private:
    std::string path_;
};

std::string contents(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// Waits (bounded) until the log holds the line; the panel's processes are not our children.
bool logEventuallyHolds(const std::string& path, const std::string& line) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (contents(path).find(line) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

loftwing::CodeNotificationPayload code() {
    return {"482913", "login.example.com", "Example", std::nullopt, "Gmail", false};
}

TEST(PanelLauncher, FailuresAfterTheAnswerAreLoggedByKind) {
    struct Row {
        const char* name;
        const char* display;
        const char* expected;
    };
    const Row rows[] = {
        {"no display at all", nullptr, "panel: no display to show the notification on\n"},
        // The panel's process loads the module, finds the display dead and says so.
        {"display that nobody serves, a platform inherited", ":65001",
         "panel: no display could be reached\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto path = (std::filesystem::temp_directory_path() /
                           ("zevirudi-panel-log-" + std::to_string(::getpid())))
                              .string();
        std::filesystem::remove(path);
        loftwing::setLogSink(std::make_shared<FileAppendingSink>(path));
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        if (row.display) {
            ::setenv("DISPLAY", row.display, 1);
        } else {
            ::unsetenv("DISPLAY");
        }
        launchNotificationPanels(std::nullopt, code());
        EXPECT_TRUE(logEventuallyHolds(path, row.expected)) << contents(path);
        EXPECT_EQ(contents(path).find("482913"), std::string::npos) << "the code stays out";
        loftwing::setLogSink(nullptr);
        std::filesystem::remove(path);
    }
}

}  // namespace
}  // namespace zevirudi
