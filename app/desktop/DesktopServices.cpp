#include "desktop/DesktopServices.h"

#include "bundle/AppBundle.h"
#include "chrome/BrowserLocator.h"
#include "host/DeferredTransport.h"
#include "oauth/CurlTransport.h"
#include "records/Errors.h"
#include "storage/ConfiguredAccountStore.h"

#include <QDesktopServices>
#include <QUrl>

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
    services.configuration = std::move(configuration);
    // The connector needs the browser sign-in, which routes the redirect that reaches this
    // process through SingleInstance; until it exists, connecting reports the missing service.
    return services;
}

void openChromeSetupPage(const loftwing::LoftwingAppConfiguration& configuration,
                         const std::optional<std::filesystem::path>& extensionFolder) {
    if (!configuration.usesChromeWebStore() && extensionFolder) {
        QDesktopServices::openUrl(
            QUrl::fromLocalFile(QString::fromStdString(extensionFolder->string())));
    }
    const auto& page = configuration.extensionInstallURL;
    if (!loftwing::parsesAsURL(page)) {
        throw loftwing::LoftwingMultiError::itemNotFound();
    }
    if (BrowserLocator().openURL(page) ||
        QDesktopServices::openUrl(QUrl(QString::fromStdString(page)))) {
        return;
    }
    throw loftwing::LoftwingMultiError::itemNotFound();
}

}  // namespace zevirudi
