#pragma once

#include "oauth/HTTPTransport.h"
#include "oauth/OAuthClientConfiguration.h"
#include "records/AccountRecords.h"
#include "records/MailProvider.h"
#include "storage/AccountStore.h"
#include "support/Time.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

namespace loftwing {

// Hands out access tokens, refreshing them at the provider's token endpoint when they expire
// within 60 seconds and saving the refreshed account.
//
// Concurrent calls for the same account whose token is due share one refresh request and all get
// its token or its error, and a refresh token that this manager has already exchanged is never
// sent again: a later call that still carries it gets the tokens of that exchange. Providers that
// rotate refresh tokens would otherwise answer the second refresh with "invalid_grant". A caller
// that stops waits no longer (OperationCancelled); when the caller that performs a shared refresh
// stops, the others start a new one.
class OAuthTokenManager {
  public:
    OAuthTokenManager(std::shared_ptr<AccountStore> accountStore,
                      std::shared_ptr<HTTPTransport> transport,
                      std::map<MailProvider, OAuthClientConfiguration> configurations);

    // Thread-safe. Throws LoftwingMultiError, TransportError, OperationCancelled,
    // JsonDecodingError and the account store's errors.
    std::string accessToken(const StoredAccount& account, Timestamp now, std::stop_token stop = {});

  private:
    struct Flight;
    struct Exchange {
        std::string sentRefreshToken;
        OAuthTokenSet tokens;
    };

    OAuthTokenSet refresh(const std::string& refreshToken, MailProvider provider,
                          const OAuthClientConfiguration& configuration, Timestamp now,
                          std::stop_token stop) const;
    std::string refreshAndSave(const StoredAccount& account, const OAuthTokenSet& tokens,
                               const OAuthClientConfiguration& configuration, Timestamp now,
                               std::stop_token stop);

    std::shared_ptr<AccountStore> accountStore_;
    std::shared_ptr<HTTPTransport> transport_;
    std::map<MailProvider, OAuthClientConfiguration> configurations_;

    std::mutex mutex_;
    std::condition_variable_any landed_;
    std::map<std::string, std::shared_ptr<Flight>> flights_;  // by account id
    std::map<std::string, Exchange> exchanges_;               // the latest, by account id
};

}  // namespace loftwing
