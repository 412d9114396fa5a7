#include "chrome/BrowserLocator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace zevirudi {
namespace {

namespace fs = std::filesystem;

class BrowserLocatorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("browser-locator-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root / "bin");
        fs::create_directories(root / "opt");
        fs::create_directories(root / "applications");
    }
    void TearDown() override { fs::remove_all(root); }

    BrowserLocator locator() const {
        return BrowserLocator({.executableDirectories = {(root / "bin").string()},
                               .desktopEntryDirectories = {(root / "applications").string()}});
    }

    // A stand-in browser that records its argument, session, parent and standard input.
    fs::path fakeBrowser(const fs::path& path) const {
        std::ofstream script(path);
        script << "#!/bin/sh\n"
               << "out='" << (root / "launched").string() << "'\n"
               << "in=$(readlink /proc/$$/fd/0)\n"
               << "stdout=$(readlink /proc/$$/fd/1)\n"
               << "ids=$(cut -d' ' -f4,6 /proc/$$/stat)\n"
               << "printf '%s\\n' \"$1\" \"$ids\" \"$in\" \"$stdout\" > \"$out.tmp\"\n"
               << "mv \"$out.tmp\" \"$out\"\n";
        script.close();
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }

    void desktopEntry(const std::string& name, const std::string& exec) const {
        std::ofstream entry(root / "applications" / name);
        entry << "[Desktop Entry]\nName=Browser\n[Desktop Action new-window]\nExec=/bin/false\n";
        entry.close();
        // The main group's Exec counts even when it comes after another group.
        std::ofstream append(root / "applications" / name, std::ios::app);
        append << "[Desktop Entry]\nExec=" << exec << " %U\n";
    }

    // Waits (bounded) until the fake browser has written its record.
    std::optional<std::string> launchedRecord() const {
        const int watch = inotify_init1(IN_CLOEXEC);
        inotify_add_watch(watch, root.c_str(), IN_MOVED_TO);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(root / "launched") && std::chrono::steady_clock::now() < deadline) {
            pollfd event{watch, POLLIN, 0};
            if (poll(&event, 1, 200) > 0) {
                char buffer[4096];
                [[maybe_unused]] const auto ignored = read(watch, buffer, sizeof buffer);
            }
        }
        close(watch);
        std::ifstream file(root / "launched");
        if (!file) {
            return std::nullopt;
        }
        std::stringstream content;
        content << file.rdbuf();
        return content.str();
    }

    fs::path root;
};

TEST_F(BrowserLocatorTest, PrefersChromeThenChromiumOnPathOrDesktopEntry) {
    struct Row {
        const char* name;
        std::vector<std::string> executables;    // created in bin/
        std::optional<std::string> desktopExec;  // of google-chrome.desktop; "opt/..." under root
        std::optional<std::string> expected;     // relative to the root
    };
    const Row rows[] = {
        {"nothing installed", {}, {}, {}},
        {"chromium only", {"chromium"}, {}, "bin/chromium"},
        {"chromium-browser only", {"chromium-browser"}, {}, "bin/chromium-browser"},
        {"chrome before chromium", {"chromium", "google-chrome"}, {}, "bin/google-chrome"},
        {"stable channel first",
         {"google-chrome", "google-chrome-stable"},
         {},
         "bin/google-chrome-stable"},
        {"chrome from its desktop entry beats chromium on the path",
         {"chromium"},
         "opt/chrome",
         "opt/chrome"},
        {"desktop entry naming a program on the path",
         {"chrome-launcher"},
         "chrome-launcher",
         "bin/chrome-launcher"},
        {"desktop entry naming a missing program", {}, "opt/missing", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(root / "bin");
        fs::remove_all(root / "applications");
        fs::create_directories(root / "bin");
        fs::create_directories(root / "applications");
        for (const auto& name : row.executables) {
            fakeBrowser(root / "bin" / name);
        }
        if (row.desktopExec) {
            const bool underRoot = row.desktopExec->starts_with("opt/");
            if (*row.desktopExec == "opt/chrome") {
                fakeBrowser(root / "opt" / "chrome");
            }
            desktopEntry("google-chrome.desktop",
                         underRoot ? (root / *row.desktopExec).string() : *row.desktopExec);
        }
        const auto found = locator().findBrowser();
        if (row.expected) {
            EXPECT_EQ(found, (root / *row.expected).string());
        } else {
            EXPECT_EQ(found, std::nullopt);
            EXPECT_FALSE(locator().openURL("https://example.com/"));
        }
    }
}

TEST_F(BrowserLocatorTest, LaunchesTheBrowserDetachedWithTheURL) {
    fakeBrowser(root / "bin" / "google-chrome");
    const std::string url = "https://shop.example.org/reset?token=a&b=c d";
    ASSERT_TRUE(locator().openURL(url));
    const auto record = launchedRecord();
    ASSERT_TRUE(record.has_value());
    std::istringstream lines(*record);
    std::string argument;
    std::string parentAndSession;
    std::string standardInput;
    std::string standardOutput;
    std::getline(lines, argument);
    std::getline(lines, parentAndSession);
    std::getline(lines, standardInput);
    std::getline(lines, standardOutput);
    EXPECT_EQ(argument, url);
    std::istringstream ids(parentAndSession);
    pid_t parent = 0;
    pid_t session = 0;
    ids >> parent >> session;
    EXPECT_NE(parent, getpid());
    EXPECT_NE(session, getsid(0));
    EXPECT_EQ(standardInput, "/dev/null");
    EXPECT_EQ(standardOutput, "/dev/null");
}

TEST_F(BrowserLocatorTest, ReportsABrowserThatCannotBeStarted) {
    // Executable bit but no valid interpreter: exec fails in the child.
    std::ofstream(root / "bin" / "google-chrome") << "#!/nonexistent/interpreter\n";
    fs::permissions(root / "bin" / "google-chrome", fs::perms::owner_all);
    EXPECT_FALSE(locator().openURL("https://example.com/"));
}

}  // namespace
}  // namespace zevirudi
