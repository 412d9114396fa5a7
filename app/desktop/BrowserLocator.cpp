#include "desktop/BrowserLocator.h"

#include "support/LogSink.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <system_error>

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

// The value of the main group's "Exec=" key with the key file's escapes (\s, \n, \t, \r,
// \\) undone; an entry's actions have Exec lines of their own, which do not count.
std::optional<std::string> desktopEntryExec(const std::string& entryPath) {
    std::ifstream entry(entryPath);
    std::string line;
    bool inMainGroup = false;
    while (std::getline(entry, line)) {
        if (line.starts_with('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup || !line.starts_with("Exec=")) {
            continue;
        }
        std::string value;
        for (std::size_t i = 5; i < line.size(); ++i) {
            if (line[i] != '\\' || i + 1 == line.size()) {
                value += line[i];
                continue;
            }
            const char escaped = line[++i];
            switch (escaped) {
                case 's':
                    value += ' ';
                    break;
                case 'n':
                    value += '\n';
                    break;
                case 't':
                    value += '\t';
                    break;
                case 'r':
                    value += '\r';
                    break;
                case '\\':
                    value += '\\';
                    break;
                default:
                    value += '\\';
                    value += escaped;
                    break;
            }
        }
        return value;
    }
    return std::nullopt;
}

// Splits an Exec value into words: blanks separate them, a double-quoted word keeps its blanks and
// a backslash in it takes the next character literally. Nothing for an unterminated quote.
std::optional<std::vector<std::string>> execWords(std::string_view exec) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
            continue;
        }
        inWord = true;
        if (c != '"') {
            word += c;
            continue;
        }
        for (++i; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size()) {
                ++i;
            }
            word += exec[i];
        }
        if (i == exec.size()) {
            return std::nullopt;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
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

std::optional<BrowserCommand> BrowserLocator::findBrowser() const {
    for (const auto& family : browserFamilies) {
        for (const auto name : family.executables) {
            if (auto found = onSearchPath(name, paths_.executableDirectories)) {
                return BrowserCommand{*found, {*found, "%U"}};
            }
        }
        for (const auto& directory : paths_.desktopEntryDirectories) {
            const auto exec = desktopEntryExec(directory + "/" + std::string(family.desktopEntry));
            const auto words = exec ? execWords(*exec) : std::nullopt;
            if (!words || words->empty()) {
                continue;
            }
            const std::string& first = words->front();
            auto program = first.find('/') == std::string::npos
                               ? onSearchPath(first, paths_.executableDirectories)
                               : std::optional<std::string>(first);
            if (program && isExecutableFile(*program)) {
                return BrowserCommand{*program, *words};
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> BrowserLocator::findProgram(const std::string& name) const {
    return onSearchPath(name, paths_.executableDirectories);
}

std::vector<std::string> BrowserCommand::commandLine(const std::optional<std::string>& url) const {
    std::vector<std::string> line;
    bool tookURL = false;
    for (const auto& word : arguments) {
        // Browsers read a URL wherever a file would go, so the file codes take it too.
        if (word == "%u" || word == "%U" || word == "%f" || word == "%F") {
            if (url && !tookURL) {
                line.push_back(*url);
            }
            tookURL = true;
            continue;
        }
        if (word.size() == 2 && word.front() == '%' && word != "%%") {
            continue;  // %i, %c, %k and the deprecated codes: nothing of ours to pass
        }
        std::string expanded;
        for (std::size_t i = 0; i < word.size(); ++i) {
            if (word[i] == '%' && i + 1 < word.size()) {
                if (word[++i] == '%') {
                    expanded += '%';
                }
                continue;
            }
            expanded += word[i];
        }
        line.push_back(std::move(expanded));
    }
    if (url && !tookURL) {
        line.push_back(*url);
    }
    return line;
}

void BrowserLocator::launch(const std::vector<std::string>& commandLine,
                            const std::string& program) {
    // Everything the forked children use is prepared before fork: after it, a threaded process
    // may only make async-signal-safe calls.
    std::vector<std::string> words = commandLine;
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::array<int, 2> errorPipe{};
    if (pipe2(errorPipe.data(), O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    const pid_t child = fork();
    if (child < 0) {
        const int error = errno;
        close(errorPipe[0]);
        close(errorPipe[1]);
        throw std::system_error(error, std::generic_category(), "fork");
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
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::system_error(ECHILD, std::generic_category(), "fork");
    }
    if (received != 0) {
        throw std::system_error(received == sizeof execError ? execError : EIO,
                                std::generic_category(), "exec");
    }
}

bool BrowserLocator::openURL(const std::string& url) const {
    const auto browser = findBrowser();
    if (!browser) {
        loftwing::logMessage(loftwing::LogLevel::warning, "browser",
                             "No Chrome or Chromium found to open a link");
        return false;
    }
    try {
        launch(browser->commandLine(url), browser->program);
        return true;
    } catch (const std::system_error& error) {
        loftwing::logMessage(loftwing::LogLevel::error, "browser",
                             std::string("The browser could not be started: ") + error.what());
        return false;
    }
}

}  // namespace zevirudi
