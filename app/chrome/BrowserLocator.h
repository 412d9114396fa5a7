#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zevirudi {

// Finds the user's Chrome (else Chromium) and opens a URL in it, detached from this process.
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

    // The browser's executable: Chrome ("google-chrome-stable", "google-chrome", on the search
    // path, then from its desktop entry), then Chromium ("chromium", "chromium-browser") the same
    // way. Nothing when neither exists.
    std::optional<std::string> findBrowser() const;

    // Starts the browser with the URL as its one argument in a session of its own, standard
    // streams on /dev/null, not a child of this process. False when there is no browser or it
    // could not be started.
    bool openURL(const std::string& url) const;

  private:
    SearchPaths paths_;
};

}  // namespace zevirudi
