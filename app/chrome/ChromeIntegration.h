#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace loftwing {
struct LoftwingAppConfiguration;
}

namespace zevirudi {

class DesktopWorkspace;

struct ChromeIntegrationState {
    // The Chrome manifest that was written (Chromium's when only Chromium is set up, else the
    // first that could be written).
    std::filesystem::path nativeHostManifestURL;
    std::optional<std::filesystem::path> extensionFolderURL;  // unpacked extension, when usable

    friend bool operator==(const ChromeIntegrationState&, const ChromeIntegrationState&) = default;
};

// Installs the native messaging host manifest for the Chromium-family browsers, locates the
// unpacked extension shipped with the application and opens the extension's install page.
// Thread-safe.
class ChromeIntegration {
  public:
    static constexpr const char* manifestFileName = "com.loftwing.multi.json";
    static constexpr const char* extensionFolderName = "DuraredeVodozAzerideve";

    // configHome: $XDG_CONFIG_HOME or ~/.config; executable: the host program named in the
    // manifest; resourceFolder: where the extension folder may be; homeFolder: where Flatpak and
    // Snap keep their browsers' data.
    ChromeIntegration(std::filesystem::path configHome, std::filesystem::path executable,
                      std::filesystem::path resourceFolder,
                      std::filesystem::path homeFolder = userHome());

    // The current user's configuration folder: $XDG_CONFIG_HOME, else ~/.config.
    static std::filesystem::path userConfigHome();
    // The current user's home folder: $HOME, else the password database's.
    static std::filesystem::path userHome();

    // Writes the manifest atomically into the NativeMessagingHosts folder of Chrome and Chromium
    // (created) and of Brave, Edge and Vivaldi (when their configuration folder exists), each on
    // its own. A Flatpak or Snap browser gets none (it cannot start a program outside its
    // sandbox); it is logged. Throws itemNotFound without an executable; when no manifest could
    // be written, the first browser's std::filesystem::filesystem_error or std::system_error (an
    // earlier manifest is left untouched).
    ChromeIntegrationState installNativeHost(
        const loftwing::LoftwingAppConfiguration& configuration);

    // Shows the unpacked extension folder in the file manager when the configuration does not
    // use the Chrome Web Store, then opens the install page in Chrome (Chromium), or with the
    // desktop's default handler when there is no browser. Throws itemNotFound when neither can
    // open it, std::system_error when the browser cannot be started.
    static void openSetupPage(const loftwing::LoftwingAppConfiguration& configuration,
                              const std::optional<std::filesystem::path>& extensionFolder,
                              DesktopWorkspace& workspace);

  private:
    std::mutex mutex_;
    std::filesystem::path configHome_;
    std::filesystem::path executable_;
    std::filesystem::path resourceFolder_;
    std::filesystem::path homeFolder_;
};

}  // namespace zevirudi
