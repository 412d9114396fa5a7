#pragma once

#include "chrome/ChromeIntegration.h"
#include "connection/OAuthAccountConnector.h"
#include "oauth/AppConfiguration.h"
#include "oauth/HTTPTransport.h"
#include "storage/AccountStore.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace zevirudi {

// Shows the unpacked extension folder when the build does not use the Chrome Web Store, then
// opens Chrome on the extension's install page. Throws when nothing could be opened.
using ChromeSetupOpener =
    std::function<void(const loftwing::LoftwingAppConfiguration& configuration,
                       const std::optional<std::filesystem::path>& extensionFolder)>;

// What the account manager works with, built once from the configuration. Every member is safe
// to use from the view model's worker threads.
struct AccountManagerServices {
    loftwing::LoftwingAppConfiguration configuration;
    std::shared_ptr<loftwing::AccountStore> accountStore;
    std::shared_ptr<loftwing::HTTPTransport> transport;
    // Null while no browser sign-in is available; connecting then reports the missing service.
    std::shared_ptr<OAuthAccountConnector> connector;
    std::shared_ptr<ChromeIntegration> chromeIntegration;
    ChromeSetupOpener openSetupPage;
};

}  // namespace zevirudi
