#include "mail/MicrosoftMailboxClient.h"

#include "mail/MessageNormalization.h"
#include "mail/ProviderAddress.h"
#include "mail/ProviderMessages.h"
#include "records/Errors.h"

namespace loftwing {

MicrosoftMailboxClient::MicrosoftMailboxClient(std::shared_ptr<HTTPTransport> transport,
                                               std::shared_ptr<OAuthTokenManager> tokenManager,
                                               std::string apiBaseURL,
                                               std::function<Timestamp()> clock)
    : transport_(std::move(transport)),
      tokenManager_(std::move(tokenManager)),
      apiBaseURL_(std::move(apiBaseURL)),
      clock_(std::move(clock)) {}

std::vector<MailMessage> MicrosoftMailboxClient::recentMessages(
    const StoredAccount& account, Timestamp since, const std::unordered_set<std::string>& excluding,
    std::stop_token stop) const {
    const std::string accessToken = tokenManager_->accessToken(account, clock_(), stop);

    auto address = providerAddress(apiBaseURL_, "/v1.0/me/mailFolders/inbox/messages");
    address.params().append({"$top", std::to_string(pageSize)});
    address.params().append({"$orderby", "receivedDateTime desc"});
    address.params().append(
        {"$select", "id,receivedDateTime,subject,from,body,bodyPreview,internetMessageHeaders"});

    HTTPRequest request;
    request.url = address.buffer();
    request.headers = {{"Authorization", "Bearer " + accessToken}, {"Accept", "application/json"}};
    HTTPResponse response = transport_->data(request, stop);
    if (response.statusCode < 200 || response.statusCode > 299) {
        throw LoftwingMultiError::httpStatus(response.statusCode);
    }
    auto list = decodeGraphListResponse(std::move(response.body));

    std::vector<MailMessage> messages;
    for (auto& graphMessage : list.value) {
        auto message = normalizeGraphMessage(graphMessage, account);
        graphMessage = GraphMessage{};  // its body is cleaned into `message`; hold it once
        if (!message || message->receivedAt < since || excluding.contains(message->id)) {
            continue;
        }
        messages.push_back(std::move(*message));
    }
    return messages;
}

}  // namespace loftwing
