#pragma once

#include "mail/MailboxClient.h"
#include "mail/RetrySleep.h"
#include "oauth/HTTPTransport.h"
#include "oauth/OAuthTokenManager.h"

#include <functional>
#include <memory>
#include <string>

namespace loftwing {

// Reads a Google account's newest inbox messages through the Gmail API: up to 5 list pages of 20
// ids, then the unseen messages in full, 4 at a time. Rate limits and server errors are retried
// 3 times with exponential back-off and jitter. Thread-safe; holds no mutable state.
class GmailMailboxClient : public MailboxClient {
  public:
    static constexpr int pageSize = 20;
    static constexpr int maximumPages = 5;
    static constexpr std::size_t fetchBatchSize = 4;
    static constexpr int maximumRetries = 3;
    // A message whose full form is larger cannot fit an answer (900,000 bytes of message JSON;
    // the form carries the bodies in base64, a third larger): its fetch fails at this size rather
    // than holding it, 4 fetches at a time.
    static constexpr std::size_t maximumMessageBytes = 1536 * 1024;

    // `clock` gives the instant handed to the token manager and the arrival time of a message
    // without a usable date.
    GmailMailboxClient(std::shared_ptr<HTTPTransport> transport,
                       std::shared_ptr<OAuthTokenManager> tokenManager, RetrySleep retrySleep,
                       std::string apiBaseURL = "https://gmail.googleapis.com",
                       std::function<Timestamp()> clock = currentTime);

    MailProvider provider() const override { return MailProvider::google; }

    // Newest batch first; within a batch of 4, in the order the fetches finished. A message that
    // vanished (404) or nests beyond the JSON depth limit is left out. Any other failure of one
    // fetch stops its batch-mates and fails the call.
    std::vector<MailMessage> recentMessages(const StoredAccount& account, Timestamp since,
                                            const std::unordered_set<std::string>& excluding,
                                            std::stop_token stop = {}) const override;

  private:
    std::vector<std::string> candidateIDs(const std::string& accessToken,
                                          const StoredAccount& account, Timestamp since,
                                          const std::unordered_set<std::string>& excluding,
                                          std::stop_token stop) const;
    std::optional<MailMessage> fetchMessage(const std::string& accessToken,
                                            const StoredAccount& account, const std::string& id,
                                            Timestamp now, std::stop_token stop) const;
    // The body of a 2xx answer; throws for every other outcome, after retrying those that may
    // succeed later.
    std::string send(const std::string& url, const std::string& accessToken, std::stop_token stop,
                     std::optional<std::size_t> maximumBodySize = std::nullopt) const;

    std::shared_ptr<HTTPTransport> transport_;
    std::shared_ptr<OAuthTokenManager> tokenManager_;
    RetrySleep retrySleep_;
    std::string apiBaseURL_;
    std::function<Timestamp()> clock_;
};

}  // namespace loftwing
