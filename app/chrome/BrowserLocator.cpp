#include "chrome/BrowserLocator.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zevirudi {
namespace {

struct BrowserFamily {
    std::array<std::string_view, 2> executables;
    std::string_view desktopEntry;
};

constexpr std::array<BrowserFamily, 2> browserFamilies{{
    {{"google-chrome-stable", "google-chrome"}, "google-chrome.desktop"},
    {{"chromium", "chromium-browser"}, "chromium.desktop"},
}};

std::vector<std::string> splitPathList(const char* text) {
    std::vector<std::string> parts;
    if (text == nullptr) {
        return parts;
    }
    std::string_view rest(text);
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const auto part = rest.substr(0, colon);
        if (!part.empty()) {
            parts.emplace_back(part);
        }
        if (colon == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(colon + 1);
    }
    return parts;
}

bool isExecutableFile(const std::string& path) {
    return !path.empty() && path.front() == '/' && access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> onSearchPath(std::string_view name,
                                        const std::vector<std::string>& directories) {
    for (const auto& directory : directories) {
        std::string candidate = directory + "/" + std::string(name);
        if (isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return std::nullopt;
}

// The program named by the first word of the entry's main "Exec=" line (field codes and
// arguments are not needed: the URL is passed on its own).
std::optional<std::string> desktopEntryProgram(const std::string& entryPath) {
    std::ifstream entry(entryPath);
    std::string line;
    bool inMainGroup = false;
    while (std::getline(entry, line)) {
        if (line.starts_with('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (inMainGroup && line.starts_with("Exec=")) {
            const std::string command = line.substr(5);
            const auto end = command.find_first_of(" \t");
            std::string program = command.substr(0, end);
            if (program.size() >= 2 && program.front() == '"' && program.back() == '"') {
                program = program.substr(1, program.size() - 2);
            }
            return program;
        }
    }
    return std::nullopt;
}

// Replaces the already forked grandchild with the browser; only async-signal-safe calls here.
[[noreturn]] void execBrowser(const char* program, char* const argv[], int errorPipe) {
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
        dup2(devNull, STDOUT_FILENO);
        dup2(devNull, STDERR_FILENO);
    }
    // Nothing of ours (sockets to the display, the error pipe) may leak into the browser.
    syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
    execv(program, argv);
    const int error = errno;
    [[maybe_unused]] const auto written = write(errorPipe, &error, sizeof error);
    _exit(127);
}

}  // namespace

BrowserLocator::SearchPaths BrowserLocator::fromEnvironment() {
    SearchPaths paths;
    paths.executableDirectories = splitPathList(std::getenv("PATH"));
    std::vector<std::string> dataDirectories;
    if (const char* dataHome = std::getenv("XDG_DATA_HOME"); dataHome && *dataHome) {
        dataDirectories.emplace_back(dataHome);
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        dataDirectories.push_back(std::string(home) + "/.local/share");
    }
    auto systemData = splitPathList(std::getenv("XDG_DATA_DIRS"));
    if (systemData.empty()) {
        systemData = {"/usr/local/share", "/usr/share"};
    }
    dataDirectories.insert(dataDirectories.end(), systemData.begin(), systemData.end());
    for (const auto& directory : dataDirectories) {
        paths.desktopEntryDirectories.push_back(directory + "/applications");
    }
    return paths;
}

BrowserLocator::BrowserLocator(SearchPaths paths) : paths_(std::move(paths)) {}

std::optional<std::string> BrowserLocator::findBrowser() const {
    for (const auto& family : browserFamilies) {
        for (const auto name : family.executables) {
            if (auto found = onSearchPath(name, paths_.executableDirectories)) {
                return found;
            }
        }
        for (const auto& directory : paths_.desktopEntryDirectories) {
            const auto program =
                desktopEntryProgram(directory + "/" + std::string(family.desktopEntry));
            if (!program) {
                continue;
            }
            if (isExecutableFile(*program)) {
                return program;
            }
            if (auto found = onSearchPath(*program, paths_.executableDirectories)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

bool BrowserLocator::openURL(const std::string& url) const {
    const auto browser = findBrowser();
    if (!browser) {
        return false;
    }
    // Everything the forked children use is prepared before fork: after it, a threaded process
    // may only make async-signal-safe calls.
    std::string program = *browser;
    std::string argument = url;
    std::array<char*, 3> argv{program.data(), argument.data(), nullptr};
    std::array<int, 2> errorPipe{};
    if (pipe2(errorPipe.data(), O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(errorPipe[0]);
        close(errorPipe[1]);
        return false;
    }
    if (child == 0) {
        // The middle process starts a new session and leaves at once, so the browser is adopted
        // by init and never becomes a zombie of ours nor dies with our session.
        close(errorPipe[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild == 0) {
            execBrowser(program.c_str(), argv.data(), errorPipe[1]);
        }
        _exit(grandchild < 0 ? 1 : 0);
    }
    close(errorPipe[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes without data when exec succeeded; otherwise it carries exec's errno.
    int execError = 0;
    ssize_t received = 0;
    do {
        received = read(errorPipe[0], &execError, sizeof execError);
    } while (received < 0 && errno == EINTR);
    close(errorPipe[0]);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && received == 0;
}

}  // namespace zevirudi
