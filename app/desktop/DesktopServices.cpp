#include "desktop/DesktopServices.h"

#include "bundle/AppBundle.h"
#include "connection/ChromeOAuthWebAuthenticator.h"
#include "desktop/DesktopWorkspace.h"
#include "desktop/SchemeHandlerRegistration.h"
#include "host/DeferredTransport.h"
#include "oauth/CurlTransport.h"
#include "storage/ConfiguredAccountStore.h"
#include "support/LogSink.h"

#include <QThreadPool>

#include <exception>
#include <string>

namespace zevirudi {

std::shared_ptr<loftwing::HTTPTransport> deferredCurlTransport() {
    return std::make_shared<DeferredTransport>(
        [] { return std::make_shared<loftwing::CurlTransport>(); });
}

AccountManagerServices makeDesktopServices() {
    auto configuration = loadBundledConfiguration();
    AccountManagerServices services;
    services.accountStore = loftwing::makeConfiguredAccountStore(configuration);
    services.transport = deferredCurlTransport();
    services.chromeIntegration = std::make_shared<ChromeIntegration>(
        ChromeIntegration::userConfigHome(), executablePath(), resourceDirectory());
    services.openSetupPage = openChromeSetupPage;
    // The redirect reaches this process through SingleInstance and the router
    // (LoftwingDesktopApp), or through the authenticator's own loopback listener.
    services.connector = std::make_shared<OAuthAccountConnector>(
        configuration, services.accountStore,
        std::make_shared<ChromeOAuthWebAuthenticator>(OAuthCallbackRouter::shared(),
                                                      std::make_shared<FreedesktopWorkspace>()),
        services.transport);
    // xdg-mime takes a moment: the window does not wait for it.
    QThreadPool::globalInstance()->start(
        [configuration] { registerRedirectSchemes(configuration); });
    services.configuration = std::move(configuration);
    return services;
}

void registerRedirectSchemes(const loftwing::LoftwingAppConfiguration& configuration) {
    try {
        SchemeHandlerRegistration(SchemeHandlerRegistration::userDataHome(), executablePath())
            .ensureRegistered(SchemeHandlerRegistration::customSchemes(configuration));
    } catch (const std::exception& error) {
        loftwing::logMessage(
            loftwing::LogLevel::warning, "desktop",
            std::string("The sign-in redirect scheme could not be registered: ") + error.what());
    }
}

void openChromeSetupPage(const loftwing::LoftwingAppConfiguration& configuration,
                         const std::optional<std::filesystem::path>& extensionFolder) {
    FreedesktopWorkspace workspace;
    ChromeIntegration::openSetupPage(configuration, extensionFolder, workspace);
}

}  // namespace zevirudi
