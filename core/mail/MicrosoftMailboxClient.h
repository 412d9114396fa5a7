#pragma once

#include "mail/MailboxClient.h"
#include "oauth/HTTPTransport.h"
#include "oauth/OAuthTokenManager.h"

#include <functional>
#include <memory>
#include <string>

namespace loftwing {

// Reads an Outlook or Hotmail account's 20 newest inbox messages with one Microsoft Graph
// request; no paging and no retry. Thread-safe; holds no mutable state.
class MicrosoftMailboxClient : public MailboxClient {
  public:
    static constexpr int pageSize = 20;

    // `clock` gives the instant handed to the token manager.
    MicrosoftMailboxClient(std::shared_ptr<HTTPTransport> transport,
                           std::shared_ptr<OAuthTokenManager> tokenManager,
                           std::string apiBaseURL = "https://graph.microsoft.com",
                           std::function<Timestamp()> clock = currentTime);

    MailProvider provider() const override { return MailProvider::microsoft; }

    // In the provider's order (newest first): messages received at or after `since` and not in
    // `excluding`. Any status outside 200 to 299 fails with httpStatus at once.
    std::vector<MailMessage> recentMessages(const StoredAccount& account, Timestamp since,
                                            const std::unordered_set<std::string>& excluding,
                                            std::stop_token stop = {}) const override;

  private:
    std::shared_ptr<HTTPTransport> transport_;
    std::shared_ptr<OAuthTokenManager> tokenManager_;
    std::string apiBaseURL_;
    std::function<Timestamp()> clock_;
};

}  // namespace loftwing
