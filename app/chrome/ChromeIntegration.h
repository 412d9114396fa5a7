#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace loftwing {
struct LoftwingAppConfiguration;
}

namespace zevirudi {

struct ChromeIntegrationState {
    std::filesystem::path nativeHostManifestURL;  // the Chrome manifest that was written
    std::optional<std::filesystem::path> extensionFolderURL;  // unpacked extension, when usable

    friend bool operator==(const ChromeIntegrationState&, const ChromeIntegrationState&) = default;
};

// Installs the native messaging host manifest for Chrome and Chromium and locates the unpacked
// extension shipped with the application. Thread-safe.
class ChromeIntegration {
  public:
    static constexpr const char* manifestFileName = "com.loftwing.multi.json";
    static constexpr const char* extensionFolderName = "DuraredeVodozAzerideve";

    // configHome: $XDG_CONFIG_HOME or ~/.config; executable: the host program named in the
    // manifest; resourceFolder: where the extension folder may be.
    ChromeIntegration(std::filesystem::path configHome, std::filesystem::path executable,
                      std::filesystem::path resourceFolder);

    // The current user's configuration folder: $XDG_CONFIG_HOME, else ~/.config.
    static std::filesystem::path userConfigHome();

    // Writes the manifest atomically into Chrome's and Chromium's NativeMessagingHosts folders,
    // creating them. Throws itemNotFound without an executable, std::filesystem::filesystem_error
    // or std::system_error when a folder or file cannot be written (an earlier manifest is then
    // left untouched).
    ChromeIntegrationState installNativeHost(
        const loftwing::LoftwingAppConfiguration& configuration);

  private:
    std::mutex mutex_;
    std::filesystem::path configHome_;
    std::filesystem::path executable_;
    std::filesystem::path resourceFolder_;
};

}  // namespace zevirudi
