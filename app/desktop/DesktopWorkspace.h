#pragma once

#include "desktop/BrowserLocator.h"

#include <filesystem>
#include <optional>
#include <string>

namespace zevirudi {

// What the account connection and the Chrome setup ask of the desktop: the browser, the default
// handler of a URL and the file manager. FreedesktopWorkspace is the real one.
class DesktopWorkspace {
  public:
    virtual ~DesktopWorkspace() = default;

    // Chrome, else Chromium; nothing when neither is installed.
    virtual std::optional<BrowserCommand> findBrowser() const = 0;
    // Starts the browser, with the URL when there is one. Throws std::system_error when it
    // cannot be started.
    virtual void openInBrowser(const BrowserCommand& browser,
                               const std::optional<std::string>& url) = 0;
    // Hands the URL to the desktop's default handler; false when nothing took it.
    virtual bool openWithDefaultHandler(const std::string& url) = 0;
    // Shows the folder in the file manager; false when nothing could show it.
    virtual bool revealFolder(const std::filesystem::path& folder) = 0;
};

// The freedesktop.org desktop: BrowserLocator, xdg-open, and the file manager's
// org.freedesktop.FileManager1 interface on the session bus.
class FreedesktopWorkspace final : public DesktopWorkspace {
  public:
    explicit FreedesktopWorkspace(BrowserLocator locator = BrowserLocator());

    std::optional<BrowserCommand> findBrowser() const override;
    void openInBrowser(const BrowserCommand& browser,
                       const std::optional<std::string>& url) override;
    bool openWithDefaultHandler(const std::string& url) override;
    // ShowItems over D-Bus with the folder selected, else xdg-open on the folder.
    bool revealFolder(const std::filesystem::path& folder) override;

  private:
    BrowserLocator locator_;
};

}  // namespace zevirudi
