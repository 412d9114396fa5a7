#include "chrome/ChromeIntegration.h"

#include "desktop/DesktopWorkspace.h"
#include "oauth/AppConfiguration.h"
#include "records/Errors.h"
#include "support/AtomicFile.h"
#include "support/LogSink.h"

#include <boost/json/serialize.hpp>
#include <boost/json/string.hpp>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <string_view>
#include <system_error>
#include <vector>

namespace zevirudi {
namespace {

struct BrowserFolder {
    const char* userDataDir;  // the default user-data-dir, under the configuration folder
    bool createdWhenMissing;  // written even before the browser has run once
};

// Each browser reads <its user-data-dir>/NativeMessagingHosts. Chrome's and Chromium's folders
// are created so that a browser installed later finds the host; the others only when present.
constexpr std::array<BrowserFolder, 5> browserFolders{{
    {"google-chrome", true},
    {"chromium", true},
    {"BraveSoftware/Brave-Browser", false},
    {"microsoft-edge", false},
    {"vivaldi", false},
}};

// Browsers in a Flatpak or Snap sandbox, by the folder their data lives in under the home folder:
// they cannot start a program outside the sandbox, so a manifest would not help them.
constexpr std::array<const char*, 7> sandboxedBrowserFolders{
    ".var/app/com.google.Chrome",
    ".var/app/org.chromium.Chromium",
    ".var/app/com.brave.Browser",
    ".var/app/com.microsoft.Edge",
    ".var/app/com.vivaldi.Vivaldi",
    "snap/chromium",
    "snap/brave",
};

// A JSON string as the manifest writes it: slashes escaped, like the other platforms' manifests.
std::string quoted(const std::string& text) {
    const auto json = boost::json::serialize(boost::json::string(text));
    std::string out;
    out.reserve(json.size());
    for (const char c : json) {
        if (c == '/') {
            out += "\\/";
        } else {
            out += c;
        }
    }
    return out;
}

// The manifest, pretty-printed with sorted keys.
std::string manifestJSON(const std::string& executablePath, const std::string& extensionOrigin) {
    return "{\n"
           "  \"allowed_origins\" : [\n"
           "    " +
           quoted(extensionOrigin) +
           "\n"
           "  ],\n"
           "  \"description\" : " +
           quoted("Zevirudi local mail connection") +
           ",\n"
           "  \"name\" : " +
           quoted("com.loftwing.multi") +
           ",\n"
           "  \"path\" : " +
           quoted(executablePath) +
           ",\n"
           "  \"type\" : " +
           quoted("stdio") +
           "\n"
           "}";
}

}  // namespace

ChromeIntegration::ChromeIntegration(std::filesystem::path configHome,
                                     std::filesystem::path executable,
                                     std::filesystem::path resourceFolder,
                                     std::filesystem::path homeFolder)
    : configHome_(std::move(configHome)),
      executable_(std::move(executable)),
      resourceFolder_(std::move(resourceFolder)),
      homeFolder_(std::move(homeFolder)) {}

std::filesystem::path ChromeIntegration::userHome() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        return home;
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return entry->pw_dir;
    }
    return "/nonexistent";
}

std::filesystem::path ChromeIntegration::userConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        return std::filesystem::path(home) / ".config";
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return std::filesystem::path(entry->pw_dir) / ".config";
    }
    return std::filesystem::path("/nonexistent/.config");
}

ChromeIntegrationState ChromeIntegration::installNativeHost(
    const loftwing::LoftwingAppConfiguration& configuration) {
    const std::lock_guard lock(mutex_);
    if (executable_.empty()) {
        throw loftwing::LoftwingMultiError::itemNotFound();
    }
    const auto manifest = manifestJSON(executable_.string(), configuration.extensionOrigin());
    std::vector<std::filesystem::path> written;
    std::exception_ptr firstFailure;
    // Whether each browser has run for this user (it writes "Local State" on its first start): a
    // machine with only Chromium reports Chromium's manifest, even after a folder for Chrome was
    // created here.
    std::error_code unreadable;
    const bool chromeSetUp =
        std::filesystem::exists(configHome_ / "google-chrome" / "Local State", unreadable);
    const bool chromiumSetUp =
        std::filesystem::exists(configHome_ / "chromium" / "Local State", unreadable);
    std::optional<std::filesystem::path> chromeManifest;
    std::optional<std::filesystem::path> chromiumManifest;
    for (const auto& browser : browserFolders) {
        const auto userDataDir = configHome_ / browser.userDataDir;
        std::error_code ignored;
        if (!browser.createdWhenMissing && !std::filesystem::is_directory(userDataDir, ignored)) {
            continue;
        }
        const auto target = userDataDir / "NativeMessagingHosts" / manifestFileName;
        try {
            std::filesystem::create_directories(target.parent_path());
            loftwing::writeFileAtomically(target, manifest, 0644);
        } catch (const std::system_error& error) {
            loftwing::logMessage(loftwing::LogLevel::error, "chrome",
                                 std::string("The host manifest for ") + browser.userDataDir +
                                     " could not be written: " + error.code().message());
            if (!firstFailure) {
                firstFailure = std::current_exception();
            }
            continue;
        }
        written.push_back(target);
        if (std::string_view(browser.userDataDir) == "google-chrome") {
            chromeManifest = target;
        } else if (std::string_view(browser.userDataDir) == "chromium") {
            chromiumManifest = target;
        }
    }
    if (written.empty()) {
        std::rethrow_exception(firstFailure);
    }
    for (const char* folder : sandboxedBrowserFolders) {
        std::error_code ignored;
        if (std::filesystem::is_directory(homeFolder_ / folder, ignored)) {
            loftwing::logMessage(
                loftwing::LogLevel::warning, "chrome",
                std::string("A sandboxed browser cannot start the host: ") + folder);
        }
    }
    std::optional<std::filesystem::path> extensionFolder;
    if (!resourceFolder_.empty()) {
        const auto candidate = resourceFolder_ / extensionFolderName;
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate / "manifest.json", error)) {
            extensionFolder = candidate;
        }
    }
    const bool chromiumOnly = chromiumSetUp && !chromeSetUp && chromiumManifest;
    const auto reported = chromiumOnly ? chromiumManifest : chromeManifest;
    return ChromeIntegrationState{reported.value_or(chromiumManifest.value_or(written.front())),
                                  extensionFolder};
}

void ChromeIntegration::openSetupPage(const loftwing::LoftwingAppConfiguration& configuration,
                                      const std::optional<std::filesystem::path>& extensionFolder,
                                      DesktopWorkspace& workspace) {
    if (!configuration.usesChromeWebStore() && extensionFolder &&
        !workspace.revealFolder(*extensionFolder)) {
        loftwing::logMessage(loftwing::LogLevel::warning, "chrome",
                             "The extension folder could not be shown in the file manager");
    }
    std::optional<std::string> installPage;
    if (loftwing::parsesAsURL(configuration.extensionInstallURL)) {
        installPage = configuration.extensionInstallURL;
    }
    const auto browser = workspace.findBrowser();
    if (!browser) {
        if (installPage && workspace.openWithDefaultHandler(*installPage)) {
            return;
        }
        throw loftwing::LoftwingMultiError::itemNotFound();
    }
    workspace.openInBrowser(*browser, installPage);
}

}  // namespace zevirudi
