#include "desktop/SchemeHandlerRegistration.h"

#include "oauth/AppConfiguration.h"
#include "support/AtomicFile.h"

#include <boost/url/parse.hpp>

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace zevirudi {
namespace {

std::string asciiLowercase(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

// An argument of an Exec line: as it is when it holds nothing special (xdg-mime's own lookup
// reads the first word unquoted), else quoted so that blanks and reserved characters survive,
// with the key file's escaping of the backslash on top.
std::string execArgument(const std::string& word) {
    if (word.find_first_of(" \t\n\"'\\><~|&;$*?#()`=%") == std::string::npos) {
        return word;
    }
    std::string quoted = "\"";
    for (const char c : word) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += "\\\\";
        }
        quoted += c == '\\'  ? std::string("\\\\")
                  : c == '%' ? std::string("%%")
                             : std::string(1, c);
    }
    return quoted + "\"";
}

std::string fileContent(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

// The installed application's entry (<prefix>/share/applications beside <prefix>/bin) with this
// executable as its Exec and the schemes as its MimeType; a plain entry when there is none (a
// build tree). Every other line of the installed entry is kept, so that the user's copy, which
// hides it, shows the same name, icon and translations.
std::string desktopEntry(const std::filesystem::path& executable,
                         const std::vector<std::string>& schemes) {
    std::string installed =
        fileContent(executable.parent_path().parent_path() / "share" / "applications" /
                    SchemeHandlerRegistration::desktopEntryName);
    if (installed.empty()) {
        installed =
            "[Desktop Entry]\nType=Application\nName=Zevirudi\nIcon=zevirudi\nTerminal=false\n"
            "Categories=Network;Email;\n";
    }
    std::string ours = "Exec=" + execArgument(executable.string()) + " %u\nMimeType=";
    for (const auto& scheme : schemes) {
        ours += "x-scheme-handler/" + scheme + ";";
    }
    ours += "\n";

    std::string entry;
    std::istringstream lines(installed);
    std::string line;
    bool inMainGroup = false;
    bool added = false;
    while (std::getline(lines, line)) {
        if (line.starts_with('[')) {
            if (inMainGroup && !added) {
                entry += ours;
                added = true;
            }
            inMainGroup = line == "[Desktop Entry]";
        } else if (inMainGroup && (line.starts_with("Exec=") || line.starts_with("MimeType=") ||
                                   line.starts_with("TryExec="))) {
            continue;
        }
        entry += line + "\n";
    }
    if (!added) {
        entry += ours;
    }
    return entry;
}

// Runs a helper program to its end (at most ten seconds) and returns its standard output.
// Throws std::runtime_error when it cannot run, takes too long or exits with a failure.
std::string run(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<std::string> words = arguments;
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    std::array<int, 2> output{};
    if (::pipe2(output.data(), O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe2");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    if (spawned != 0) {
        ::close(output[0]);
        throw std::runtime_error(arguments.front() + " could not be started: " +
                                 std::generic_category().message(spawned));
    }
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool timedOut = false;
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{output[0], POLLIN, 0};
        const int ready = ::poll(&readable, 1, static_cast<int>(std::max<long>(0, left.count())));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        char buffer[4096];
        const ssize_t n = ::read(output[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(output[0]);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (timedOut || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error(arguments.front() + " " + arguments[1] + " failed");
    }
    return text;
}

std::string trimmed(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

}  // namespace

SchemeHandlerRegistration::SchemeHandlerRegistration(std::filesystem::path dataHome,
                                                     std::filesystem::path executable,
                                                     BrowserLocator locator)
    : dataHome_(std::move(dataHome)),
      executable_(std::move(executable)),
      locator_(std::move(locator)) {}

std::filesystem::path SchemeHandlerRegistration::userDataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        return std::filesystem::path(home) / ".local/share";
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return std::filesystem::path(entry->pw_dir) / ".local/share";
    }
    return std::filesystem::path("/nonexistent/.local/share");
}

std::vector<std::string> SchemeHandlerRegistration::customSchemes(
    const loftwing::LoftwingAppConfiguration& configuration) {
    std::vector<std::string> schemes;
    for (const auto* provider : {&configuration.google, &configuration.microsoft}) {
        const auto uri = boost::urls::parse_uri(provider->redirectURI);
        if (!uri) {
            continue;
        }
        std::string scheme = asciiLowercase(uri->scheme());
        if (scheme != "http" && scheme != "https" &&
            std::ranges::find(schemes, scheme) == schemes.end()) {
            schemes.push_back(std::move(scheme));
        }
    }
    return schemes;
}

bool SchemeHandlerRegistration::ensureRegistered(const std::vector<std::string>& schemes) const {
    if (schemes.empty()) {
        return false;
    }
    const auto xdgMime = locator_.findProgram("xdg-mime");
    if (!xdgMime) {
        throw std::runtime_error("xdg-mime is not installed");
    }
    const auto folder = dataHome_ / "applications";
    const auto entryPath = folder / desktopEntryName;
    const std::string entry = desktopEntry(executable_, schemes);
    const bool newEntry = fileContent(entryPath) != entry;
    if (newEntry) {
        std::filesystem::create_directories(folder);
        loftwing::writeFileAtomically(entryPath, entry, 0644);
    }
    bool changed = newEntry;
    for (const auto& scheme : schemes) {
        const std::string type = "x-scheme-handler/" + scheme;
        // A new entry is made the default explicitly: some desktops pick among the entries
        // claiming a type only from caches that are not updated here.
        if (newEntry ||
            trimmed(run(*xdgMime, {"xdg-mime", "query", "default", type})) != desktopEntryName) {
            run(*xdgMime, {"xdg-mime", "default", desktopEntryName, type});
            changed = true;
        }
    }
    return changed;
}

}  // namespace zevirudi
