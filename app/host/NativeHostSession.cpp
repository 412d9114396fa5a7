#include "host/NativeHostSession.h"

#include "bundle/AppBundle.h"
#include "host/DeferredTransport.h"
#include "host/NativeHostProcess.h"
#include "host/NativeRequestHandling.h"
#include "host/PanelLauncher.h"
#include "host/TransportLoader.h"
#include "mail/GmailMailboxClient.h"
#include "mail/MicrosoftMailboxClient.h"
#include "mail/RetrySleep.h"
#include "monitor/MailboxMonitor.h"
#include "oauth/AppConfiguration.h"
#include "oauth/OAuthTokenManager.h"
#include "records/NativeMessageCodec.h"
#include "storage/ConfiguredAccountStore.h"

namespace zevirudi {

void runNativeHostSession(const std::string& callerOrigin,
                          const loftwing::NativeHostRequest& request) {
    loftwing::LoftwingAppConfiguration configuration;
    try {
        configuration = loadBundledConfiguration();
    } catch (...) {
        writeErrorResponse(std::current_exception());
        return;
    }
    // Nothing of the request is looked at, and the keyring is not touched, for any other caller.
    if (callerOrigin != configuration.extensionOrigin()) {
        writeErrorResponse(
            std::make_exception_ptr(loftwing::LoftwingMultiError::authenticationFailed()));
        return;
    }

    auto accountStore = loftwing::makeConfiguredAccountStore(configuration);
    auto transport = std::make_shared<DeferredTransport>(loadCurlTransport);
    if (request.type == "poll" || request.type == "health") {
        transport->prepareInBackground();
    }
    auto tokenManager = std::make_shared<loftwing::OAuthTokenManager>(
        accountStore, transport, loftwing::tokenManagerConfigurations(configuration));
    auto gmail = std::make_shared<loftwing::GmailMailboxClient>(
        transport, tokenManager, loftwing::standardRetrySleep(),
        configuration.apiBaseURL(loftwing::MailProvider::google));
    auto graph = std::make_shared<loftwing::MicrosoftMailboxClient>(
        transport, tokenManager, configuration.apiBaseURL(loftwing::MailProvider::microsoft));
    loftwing::MailboxMonitor monitor(accountStore, {gmail, graph});

    const auto handled = handleNativeRequest(request, *accountStore, monitor);

    std::string frame;
    try {
        frame = loftwing::NativeMessageCodec::encode(handled.response);
    } catch (...) {
        writeErrorResponse(std::current_exception());
        return;
    }
    // The browser gets its answer before any panel appears.
    writeResponseFrame(frame);
    launchNotificationPanels(handled.linkNotification, handled.codeNotification);
}

}  // namespace zevirudi
