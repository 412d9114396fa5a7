#pragma once

#include "desktop/BrowserLocator.h"

#include <filesystem>
#include <string>
#include <vector>

namespace loftwing {
struct LoftwingAppConfiguration;
}

namespace zevirudi {

// Makes the running application the current user's handler of the custom redirect schemes, so
// that the browser's redirect after a sign-in reaches it (a second process started with the URL
// forwards it to the running one). Called whenever the application prepares itself.
class SchemeHandlerRegistration {
  public:
    static constexpr const char* desktopEntryName = "zevirudi.desktop";

    // dataHome: $XDG_DATA_HOME or ~/.local/share, where the user's desktop entry goes; executable:
    // the program the entry starts; locator: where xdg-mime is found.
    SchemeHandlerRegistration(std::filesystem::path dataHome, std::filesystem::path executable,
                              BrowserLocator locator = BrowserLocator());

    // The current user's data folder: $XDG_DATA_HOME, else ~/.local/share.
    static std::filesystem::path userDataHome();

    // The redirect schemes of both providers that need a desktop handler: every scheme but
    // "http" and "https" (a loopback redirect is served by the application itself), each once.
    static std::vector<std::string> customSchemes(
        const loftwing::LoftwingAppConfiguration& configuration);

    // Writes dataHome/applications/zevirudi.desktop (Exec = the executable with %u, MimeType =
    // x-scheme-handler/<scheme> for each scheme) unless it is there already, and sets it as the
    // default handler of each scheme with xdg-mime when it is not. Returns whether anything
    // changed. Throws std::system_error when the entry cannot be written, std::runtime_error
    // when xdg-mime is missing or fails.
    bool ensureRegistered(const std::vector<std::string>& schemes) const;

  private:
    std::filesystem::path dataHome_;
    std::filesystem::path executable_;
    BrowserLocator locator_;
};

}  // namespace zevirudi
