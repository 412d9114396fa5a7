#include "mail/GmailMailboxClient.h"

#include "mail/MessageNormalization.h"
#include "mail/ProviderAddress.h"
#include "mail/ProviderMessages.h"
#include "records/Errors.h"
#include "support/LogSink.h"

#include <sodium.h>
#include <algorithm>
#include <cmath>
#include <exception>
#include <mutex>
#include <thread>
#include <unordered_set>

namespace loftwing {
namespace {

constexpr std::uint32_t jitterValues = 251;  // 0 to 250 ms

bool isRetriable(int status, std::optional<GmailFailureReason> reason) {
    return status == 429 || status == 500 || status == 502 || status == 503 || status == 504 ||
           reason == GmailFailureReason::rateLimitExceeded ||
           reason == GmailFailureReason::userRateLimitExceeded;
}

// The first known reason of a 403 answer, when its body is a Gmail failure.
std::optional<GmailFailureReason> forbiddenReason(const std::string& body) {
    try {
        const auto failure = decodeGmailFailureResponse(body);
        for (const auto& detail :
             failure.error.errors.value_or(std::vector<GmailFailureResponse::Detail>{})) {
            if (auto reason = gmailFailureReasonFromRawValue(detail.reason)) {
                return reason;
            }
        }
    } catch (const JsonDecodingError&) {
    }
    return std::nullopt;
}

// Gmail ids are hexadecimal. An id that would change the address's meaning (a slash, a question
// mark, a percent sign, or a dot segment that the HTTP stack folds into the path before it) is not
// fetched.
bool isPlainID(const std::string& id) {
    return !id.empty() && id != "." && id != ".." && std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
               c == '-' || c == '_' || c == '.' || c == '~';
    });
}

std::int64_t wholeSecondsSince1970(Timestamp t) {
    // Truncated toward zero, also before 1970.
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

}  // namespace

GmailMailboxClient::GmailMailboxClient(std::shared_ptr<HTTPTransport> transport,
                                       std::shared_ptr<OAuthTokenManager> tokenManager,
                                       RetrySleep retrySleep, std::string apiBaseURL,
                                       std::function<Timestamp()> clock)
    : transport_(std::move(transport)),
      tokenManager_(std::move(tokenManager)),
      retrySleep_(std::move(retrySleep)),
      apiBaseURL_(std::move(apiBaseURL)),
      clock_(std::move(clock)) {
    if (sodium_init() < 0) {
        throw std::runtime_error("libsodium could not be initialised");
    }
}

std::vector<MailMessage> GmailMailboxClient::recentMessages(
    const StoredAccount& account, Timestamp since, const std::unordered_set<std::string>& excluding,
    std::stop_token stop) const {
    const Timestamp now = clock_();
    const std::string accessToken = tokenManager_->accessToken(account, now, stop);
    const auto candidates = candidateIDs(accessToken, account, since, excluding, stop);

    std::vector<MailMessage> messages;
    for (std::size_t offset = 0; offset < candidates.size(); offset += fetchBatchSize) {
        const std::size_t end = std::min(candidates.size(), offset + fetchBatchSize);
        // The batch stops when the caller stops or when one of its fetches fails.
        std::stop_source batchStop;
        const std::stop_callback forwardStop(stop, [&batchStop] { batchStop.request_stop(); });
        std::mutex mutex;
        std::exception_ptr firstFailure;
        {
            std::vector<std::jthread> fetches;
            fetches.reserve(end - offset);
            for (std::size_t i = offset; i < end; ++i) {
                auto fetch = [&, i] {
                    try {
                        auto message = fetchMessage(accessToken, account, candidates[i], now,
                                                    batchStop.get_token());
                        const std::lock_guard lock(mutex);
                        if (message) {
                            messages.push_back(std::move(*message));
                        }
                    } catch (...) {
                        const std::lock_guard lock(mutex);
                        if (!firstFailure) {
                            firstFailure = std::current_exception();
                            batchStop.request_stop();
                        }
                    }
                };
                try {
                    fetches.emplace_back(fetch);
                } catch (...) {
                    batchStop.request_stop();  // no thread to spare: stop the started ones
                    throw;
                }
            }
        }  // joins the batch
        if (firstFailure) {
            std::rethrow_exception(firstFailure);
        }
    }
    return messages;
}

std::vector<std::string> GmailMailboxClient::candidateIDs(
    const std::string& accessToken, const StoredAccount& account, Timestamp since,
    const std::unordered_set<std::string>& excluding, std::stop_token stop) const {
    auto address = providerAddress(apiBaseURL_, "/gmail/v1/users/me/messages");
    address.params().append({"q", "after:" + std::to_string(wholeSecondsSince1970(since))});
    address.params().append({"maxResults", std::to_string(pageSize)});

    std::vector<std::string> candidates;
    std::unordered_set<std::string> usedTokens;
    for (int page = 0;;) {
        const auto list = decodeGmailListResponse(send(address.buffer(), accessToken, stop));
        for (const auto& reference : list.messages.value_or(std::vector<GmailMessageReference>{})) {
            if (!excluding.contains(account.account.id + ":" + reference.id)) {
                candidates.push_back(reference.id);
            }
        }
        if (!list.nextPageToken || list.nextPageToken->empty()) {
            break;
        }
        if (!usedTokens.insert(*list.nextPageToken).second) {
            break;
        }
        address.params().erase("pageToken");
        address.params().append({"pageToken", *list.nextPageToken});
        if (++page == maximumPages) {
            break;
        }
    }
    return candidates;
}

std::optional<MailMessage> GmailMailboxClient::fetchMessage(const std::string& accessToken,
                                                            const StoredAccount& account,
                                                            const std::string& id, Timestamp now,
                                                            std::stop_token stop) const {
    if (!isPlainID(id)) {
        logMessage(LogLevel::warning, "mail",
                   "Gmail listed a message id that forms no address; skipped for account " +
                       account.account.id);
        return std::nullopt;
    }
    auto address = providerAddress(apiBaseURL_, "/gmail/v1/users/me/messages/" + id);
    address.params().append({"format", "full"});
    std::string body;
    try {
        body = send(address.buffer(), accessToken, stop, maximumMessageBytes);
    } catch (const LoftwingMultiError& error) {
        if (error == LoftwingMultiError::httpStatus(404)) {
            return std::nullopt;  // deleted between listing and fetching
        }
        throw;
    }
    auto message = decodeGmailMessage(std::move(body));
    if (!message) {
        return std::nullopt;
    }
    return normalizeGmailMessage(std::move(*message), account, now);
}

std::string GmailMailboxClient::send(const std::string& url, const std::string& accessToken,
                                     std::stop_token stop,
                                     std::optional<std::size_t> maximumBodySize) const {
    HTTPRequest request;
    request.url = url;
    request.maximumBodySize = maximumBodySize;
    request.headers = {{"Authorization", "Bearer " + accessToken}, {"Accept", "application/json"}};
    for (int attempt = 0;; ++attempt) {
        if (stop.stop_requested()) {
            throw OperationCancelled();
        }
        HTTPResponse response = transport_->data(request, stop);
        const int status = response.statusCode;
        if (status >= 200 && status <= 299) {
            return std::move(response.body);
        }
        const auto reason = status == 403 ? forbiddenReason(response.body) : std::nullopt;
        if (attempt < maximumRetries && isRetriable(status, reason)) {
            const auto jitter = std::chrono::milliseconds(randombytes_uniform(jitterValues));
            retrySleep_(std::chrono::milliseconds(1000 << attempt) + jitter, stop);
            continue;
        }
        if (reason) {
            throw LoftwingMultiError::gmailFailure(*reason);
        }
        throw LoftwingMultiError::httpStatus(status);
    }
}

}  // namespace loftwing
