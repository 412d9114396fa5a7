#include "oauth/OAuthTokenManager.h"

#include "oauth/OAuthTokenExchangeClient.h"
#include "oauth/TokenEndpointAnswer.h"
#include "records/Errors.h"
#include "records/JsonFields.h"

#include <exception>

namespace loftwing {

// One refresh in progress, awaited by every caller of the same account.
struct OAuthTokenManager::Flight {
    bool landed = false;
    std::string accessToken;
    std::exception_ptr error;
};

namespace {

constexpr double leewaySeconds = 60;

// The "error" code of a refusal, nothing when the body is not {"error": text}.
std::optional<std::string> refusalCode(std::string_view body) {
    try {
        const auto json = parseJson(body);
        return JsonFields(json, "TokenFailure", DateEncoding::iso8601).string("error");
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (const auto& part : parts) {
        if (!out.empty()) {
            out += ' ';
        }
        out += part;
    }
    return out;
}

}  // namespace

OAuthTokenManager::OAuthTokenManager(
    std::shared_ptr<AccountStore> accountStore, std::shared_ptr<HTTPTransport> transport,
    std::map<MailProvider, OAuthClientConfiguration> configurations)
    : accountStore_(std::move(accountStore)),
      transport_(std::move(transport)),
      configurations_(std::move(configurations)) {}

std::string OAuthTokenManager::accessToken(const StoredAccount& account, Timestamp now,
                                           std::stop_token stop) {
    if (!account.tokens.needsRefresh(now, leewaySeconds)) {
        return account.tokens.accessToken;
    }
    const auto& id = account.account.id;
    for (;;) {
        std::unique_lock lock(mutex_);
        OAuthTokenSet tokens = account.tokens;
        if (const auto exchange = exchanges_.find(id);
            exchange != exchanges_.end() &&
            tokens.refreshToken == exchange->second.sentRefreshToken) {
            tokens = exchange->second.tokens;
            if (!tokens.needsRefresh(now, leewaySeconds)) {
                return tokens.accessToken;
            }
        }
        const auto configuration = configurations_.find(account.account.provider);
        if (!tokens.refreshToken || configuration == configurations_.end()) {
            throw LoftwingMultiError::reconnectRequired();
        }

        if (const auto running = flights_.find(id); running != flights_.end()) {
            const auto flight = running->second;
            if (!landed_.wait(lock, stop, [&] { return flight->landed; })) {
                throw OperationCancelled();
            }
            if (!flight->error) {
                return flight->accessToken;
            }
            try {
                std::rethrow_exception(flight->error);
            } catch (const OperationCancelled&) {
                if (stop.stop_requested()) {
                    throw;
                }
                continue;  // the caller that refreshed stopped; this one still wants a token
            }
        }

        const auto flight = std::make_shared<Flight>();
        flights_.emplace(id, flight);
        lock.unlock();
        std::string newAccessToken;
        std::exception_ptr error;
        try {
            newAccessToken = refreshAndSave(account, tokens, configuration->second, now, stop);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        flight->landed = true;
        flight->accessToken = newAccessToken;
        flight->error = error;
        flights_.erase(id);
        lock.unlock();
        landed_.notify_all();
        if (error) {
            std::rethrow_exception(error);
        }
        return newAccessToken;
    }
}

std::string OAuthTokenManager::refreshAndSave(const StoredAccount& account,
                                              const OAuthTokenSet& tokens,
                                              const OAuthClientConfiguration& configuration,
                                              Timestamp now, std::stop_token stop) {
    OAuthTokenSet refreshed = refresh(*tokens.refreshToken, account.account.provider, configuration,
                                      now, std::move(stop));
    accountStore_->save(StoredAccount{account.account, refreshed});
    std::lock_guard lock(mutex_);
    exchanges_.insert_or_assign(account.account.id, Exchange{*tokens.refreshToken, refreshed});
    return refreshed.accessToken;
}

OAuthTokenSet OAuthTokenManager::refresh(const std::string& refreshToken, MailProvider provider,
                                         const OAuthClientConfiguration& configuration,
                                         Timestamp now, std::stop_token stop) const {
    std::map<std::string, std::string> fields{
        {"client_id", configuration.clientID},
        {"grant_type", "refresh_token"},
        {"refresh_token", refreshToken},
    };
    if (provider == MailProvider::microsoft) {
        fields.emplace("scope", joined(configuration.scopes));
    }
    HTTPRequest request;
    request.url = configuration.tokenEndpoint;
    request.method = "POST";
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    request.body = formEncodedBody(fields);
    const WipedOnExit wipedBody(request.body);

    const HTTPResponse response = transport_->data(request, std::move(stop));

    if (response.statusCode < 200 || response.statusCode > 299) {
        const auto code = refusalCode(response.body);
        if (code == "invalid_grant" || code == "invalid_token") {
            throw LoftwingMultiError::reconnectRequired();
        }
        throw LoftwingMultiError::httpStatus(response.statusCode);
    }
    auto answer = decodeTokenEndpointAnswer(response.body);
    if (answer.accessToken.empty()) {
        throw LoftwingMultiError::invalidResponse();
    }
    return OAuthTokenSet{
        std::move(answer.accessToken),
        answer.refreshToken ? std::move(answer.refreshToken) : std::optional(refreshToken),
        expiryAfter(now, answer.expiresIn),
        std::move(answer.scope),
    };
}

}  // namespace loftwing
