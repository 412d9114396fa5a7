#include "desktop/BrowserLocator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

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
        append << "[Desktop Entry]\nExec=" << exec << "\n";
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
        std::vector<std::string> executables;        // created in bin/
        std::optional<std::string> desktopExec;      // of google-chrome.desktop; ROOT is the root
        std::optional<std::string> expectedProgram;  // relative to the root
        std::vector<std::string> expectedLine;       // with the URL u; ROOT is the root
    };
    const Row rows[] = {
        {"nothing installed", {}, {}, {}, {}},
        {"chromium-browser only",
         {"chromium-browser"},
         {},
         "bin/chromium-browser",
         {"ROOT/bin/chromium-browser", "u"}},
        {"chrome before chromium",
         {"chromium", "google-chrome"},
         {},
         "bin/google-chrome",
         {"ROOT/bin/google-chrome", "u"}},
        {"stable channel first",
         {"google-chrome", "google-chrome-stable"},
         {},
         "bin/google-chrome-stable",
         {"ROOT/bin/google-chrome-stable", "u"}},
        {"chrome from its desktop entry beats chromium on the path",
         {"chromium"},
         "ROOT/opt/chrome --profile-directory=Default %U",
         "opt/chrome",
         {"ROOT/opt/chrome", "--profile-directory=Default", "u"}},
        {"an entry starting with env runs as a whole",
         {"env"},
         "env BAMF_DESKTOP_FILE_HINT=/x.desktop ROOT/opt/chrome %U",
         "bin/env",
         {"env", "BAMF_DESKTOP_FILE_HINT=/x.desktop", "ROOT/opt/chrome", "u"}},
        {"flatpak run keeps its file forwarding",
         {"flatpak"},
         "flatpak run --command=chrome com.google.Chrome @@u %U @@",
         "bin/flatpak",
         {"flatpak", "run", "--command=chrome", "com.google.Chrome", "@@u", "u", "@@"}},
        {"quoted words, escapes and other field codes",
         {},
         "\"ROOT/opt/my chrome\" --class=\"a\\\\\\\\b\" %F --x=100%% %i",
         "opt/my chrome",
         {"ROOT/opt/my chrome", "--class=a\\b", "u", "--x=100%"}},
        {"no field code: the URL goes last",
         {},
         "ROOT/opt/chrome --new-window",
         "opt/chrome",
         {"ROOT/opt/chrome", "--new-window", "u"}},
        {"desktop entry naming a program on the path",
         {"chrome-launcher"},
         "chrome-launcher %U",
         "bin/chrome-launcher",
         {"chrome-launcher", "u"}},
        {"desktop entry naming a missing program", {}, "ROOT/opt/missing %U", {}, {}},
        {"unterminated quote", {}, "\"ROOT/opt/chrome %U", {}, {}},
    };
    const auto rooted = [&](std::string text) {
        for (auto at = text.find("ROOT"); at != std::string::npos; at = text.find("ROOT")) {
            text.replace(at, 4, root.string());
        }
        return text;
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        for (const char* folder : {"bin", "applications", "opt"}) {
            fs::remove_all(root / folder);
            fs::create_directories(root / folder);
        }
        for (const auto& name : row.executables) {
            fakeBrowser(root / "bin" / name);
        }
        fakeBrowser(root / "opt" / "chrome");
        fakeBrowser(root / "opt" / "my chrome");
        if (row.desktopExec) {
            desktopEntry("google-chrome.desktop", rooted(*row.desktopExec));
        }
        const auto found = locator().findBrowser();
        if (!row.expectedProgram) {
            EXPECT_EQ(found, std::nullopt);
            EXPECT_FALSE(locator().openURL("https://example.com/"));
            continue;
        }
        ASSERT_TRUE(found.has_value());
        EXPECT_EQ(found->program, (root / *row.expectedProgram).string());
        std::vector<std::string> expectedLine;
        for (const auto& word : row.expectedLine) {
            expectedLine.push_back(rooted(word));
        }
        EXPECT_EQ(found->commandLine("u"), expectedLine);
    }
}

TEST_F(BrowserLocatorTest, LaunchesTheBrowserDetachedWithTheURL) {
    // An entry starting with env: the program alone would start nothing, the whole line does.
    fakeBrowser(root / "opt" / "chrome");
    desktopEntry("chromium.desktop",
                 "/usr/bin/env ZEVIRUDI_TEST=1 " + (root / "opt" / "chrome").string() + " %U");
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
