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
#include <optional>
#include <stop_token>
#include <string>

namespace loftwing {

// Hands out access tokens, refreshing them at the provider's token endpoint when they expire
// within 60 seconds and saving the refreshed account.
//
// Providers that rotate refresh tokens accept each one once, so a refresh token is never sent
// twice: concurrent calls of this process for the same account share one refresh request and all
// get its token or its error, and every process refreshes under the account's AccountLock, then
// reads the stored account again, because another process may have refreshed it meanwhile. A
// refresh refused as revoked while another writer changed the stored refresh token is retried
// once with the stored one. An account removed meanwhile is neither refreshed nor saved again
// (itemNotFound). A caller that stops waits no longer (OperationCancelled); when the caller that
// performs a shared refresh stops, the others start a new one.
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

    OAuthTokenSet refresh(const std::string& accountID, const std::string& refreshToken,
                          MailProvider provider, const OAuthClientConfiguration& configuration,
                          Timestamp now, std::stop_token stop) const;
    std::string refreshAndSave(const std::string& accountID,
                               const OAuthClientConfiguration& configuration, Timestamp now,
                               std::stop_token stop);
    std::optional<StoredAccount> storedAccount(const std::string& accountID) const;

    std::shared_ptr<AccountStore> accountStore_;
    std::shared_ptr<HTTPTransport> transport_;
    std::map<MailProvider, OAuthClientConfiguration> configurations_;

    std::mutex mutex_;
    std::condition_variable_any landed_;
    std::map<std::string, std::shared_ptr<Flight>> flights_;  // by account id
};

}  // namespace loftwing
