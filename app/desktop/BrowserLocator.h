#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zevirudi {

// How to start one browser: the program found and the command line it was found with.
struct BrowserCommand {
    std::string program;  // an executable file, absolute
    // argv as written: a desktop entry's Exec line split into words and unquoted, its field codes
    // still in place (argv[0] is the word that named the program).
    std::vector<std::string> arguments;

    // The argument vector to run: the first of "%u", "%U", "%f", "%F" becomes the URL (which is
    // appended when the line has none), the other field codes are dropped and "%%" is "%".
    std::vector<std::string> commandLine(const std::optional<std::string>& url) const;

    friend bool operator==(const BrowserCommand&, const BrowserCommand&) = default;
};

// Finds the user's Chrome (else Chromium) and starts it detached from this process. Qt-free: the
// panel module and the desktop app both use it.
class BrowserLocator {
  public:
    // Where to look: the executable search path and the folders holding desktop entries
    // ("applications" under XDG_DATA_HOME and each of XDG_DATA_DIRS).
    struct SearchPaths {
        std::vector<std::string> executableDirectories;
        std::vector<std::string> desktopEntryDirectories;
    };

    // The search paths of this process's environment, with the XDG defaults where unset.
    static SearchPaths fromEnvironment();

    explicit BrowserLocator(SearchPaths paths = fromEnvironment());

    // Chrome ("google-chrome-stable", "google-chrome" on the search path, then its desktop
    // entry's whole Exec line), then Chromium ("chromium", "chromium-browser", then its entry).
    // An entry counts when the first word of its Exec line is an executable path or a program on
    // the search path ("env", "flatpak" and the like included). Nothing when neither exists.
    std::optional<BrowserCommand> findBrowser() const;

    // A program on the executable search path, as an absolute path.
    std::optional<std::string> findProgram(const std::string& name) const;

    // Runs the command line in a session of its own, standard streams on /dev/null, not a child
    // of this process. Throws std::system_error with the errno of the step that failed (exec's
    // own when the program cannot be started).
    static void launch(const std::vector<std::string>& commandLine, const std::string& program);

    // findBrowser, then launch with the URL. False (and a log line) when there is no browser or
    // it could not be started.
    bool openURL(const std::string& url) const;

  private:
    SearchPaths paths_;
};

}  // namespace zevirudi
