#include "host/NativeHostServices.h"

#include "host/DeferredKeychainStore.h"
#include "host/DeferredTransport.h"
#include "host/KeyringLoader.h"
#include "host/TransportLoader.h"
#include "mail/GmailMailboxClient.h"
#include "mail/MicrosoftMailboxClient.h"
#include "mail/RetrySleep.h"
#include "monitor/MailboxMonitor.h"
#include "oauth/OAuthTokenManager.h"
#include "storage/ConfiguredAccountStore.h"
#include "storage/KeychainAccountStore.h"

namespace zevirudi {

NativeHostServices makeNativeHostServices(const loftwing::LoftwingAppConfiguration& configuration,
                                          bool warmUpNetwork) {
    const std::optional<std::string> accessGroup = configuration.keychainAccessGroup;
    auto keychain = std::make_shared<DeferredKeychainStore>([accessGroup] {
        return loadSecretServiceStore(loftwing::accountsKeychainService, accessGroup);
    });
    auto accountStore = std::make_shared<loftwing::KeychainAccountStore>(keychain);
    auto transport = std::make_shared<DeferredTransport>(loadCurlTransport);
    if (warmUpNetwork) {
        transport->prepareInBackground();
    }
    auto tokenManager = std::make_shared<loftwing::OAuthTokenManager>(
        accountStore, transport, loftwing::tokenManagerConfigurations(configuration));
    auto gmail = std::make_shared<loftwing::GmailMailboxClient>(
        transport, tokenManager, loftwing::standardRetrySleep(),
        configuration.apiBaseURL(loftwing::MailProvider::google));
    auto graph = std::make_shared<loftwing::MicrosoftMailboxClient>(
        transport, tokenManager, configuration.apiBaseURL(loftwing::MailProvider::microsoft));
    auto monitor = std::make_shared<loftwing::MailboxMonitor>(
        accountStore, std::vector<std::shared_ptr<loftwing::MailboxClient>>{gmail, graph});
    return {std::move(accountStore), std::move(monitor)};
}

}  // namespace zevirudi
