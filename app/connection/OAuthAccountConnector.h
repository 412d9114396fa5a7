#pragma once

#include "connection/OAuthWebAuthenticating.h"
#include "oauth/AppConfiguration.h"
#include "oauth/HTTPTransport.h"
#include "records/AccountRecords.h"
#include "records/MailProvider.h"
#include "storage/AccountStore.h"

#include <memory>
#include <optional>
#include <stop_token>
#include <string>

namespace zevirudi {

// Connects one mailbox end to end: browser sign-in with PKCE, code exchange, the owner's profile
// from the provider, and the account saved with its tokens. Holds nothing between calls; the
// desktop app runs one connect at a time (the browser step admits only one waiting sign-in).
class OAuthAccountConnector {
  public:
    OAuthAccountConnector(loftwing::LoftwingAppConfiguration configuration,
                          std::shared_ptr<loftwing::AccountStore> accountStore,
                          std::shared_ptr<OAuthWebAuthenticating> webAuthenticator,
                          std::shared_ptr<loftwing::HTTPTransport> transport);

    // Returns the account that was saved. Nothing is saved unless every step succeeded. Throws
    // AccountConnectionError (provider not configured, before the browser opens); the
    // authenticator's errors; LoftwingMultiError authenticationFailed (state mismatch or an
    // "error" in the redirect), invalidResponse (no code; a profile without identifier or
    // address), httpStatus (token or profile endpoint), invalidData; OAuthProviderError;
    // JsonDecodingError; TransportError; the account store's errors; OperationCancelled.
    loftwing::ConnectedAccount connect(loftwing::MailProvider provider,
                                       const std::optional<std::string>& loginHint,
                                       std::stop_token stop = {});

  private:
    loftwing::ConnectedAccount fetchAccount(loftwing::MailProvider provider,
                                            const std::string& accessToken,
                                            std::stop_token stop) const;

    loftwing::LoftwingAppConfiguration configuration_;
    std::shared_ptr<loftwing::AccountStore> accountStore_;
    std::shared_ptr<OAuthWebAuthenticating> webAuthenticator_;
    std::shared_ptr<loftwing::HTTPTransport> transport_;
};

}  // namespace zevirudi
