#include "oauth/OAuthTokenManager.h"

#include "oauth/TokenEndpointAnswer.h"
#include "records/Errors.h"
#include "records/JsonFields.h"
#include "storage/AccountLock.h"
#include "support/LogSink.h"

#include <algorithm>
#include <exception>

namespace loftwing {

// One refresh in progress in this process, awaited by every caller of the same account.
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

// Provider error codes are short ASCII words; anything else is not written to the log.
std::string loggableCode(const std::string& code) {
    const bool word =
        !code.empty() && code.size() <= 40 && std::all_of(code.begin(), code.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-' || c == '.';
        });
    return word ? code : "(not a code)";
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
    const auto configuration = configurations_.find(account.account.provider);
    if (!account.tokens.refreshToken || configuration == configurations_.end()) {
        throw LoftwingMultiError::reconnectRequired();
    }
    const auto& id = account.account.id;
    for (;;) {
        std::unique_lock lock(mutex_);
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
            newAccessToken = refreshAndSave(id, configuration->second, now, stop);
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

std::string OAuthTokenManager::refreshAndSave(const std::string& accountID,
                                              const OAuthClientConfiguration& configuration,
                                              Timestamp now, std::stop_token stop) {
    const AccountLock lock(accountID);
    // The caller's copy may be stale: another process may have refreshed the account (its
    // refresh token is then spent), or removed it.
    auto stored = storedAccount(accountID);
    for (bool retried = false;; retried = true) {
        if (!stored) {
            logMessage(LogLevel::info, "oauth",
                       "account " + accountID + ": removed while its token was due, not refreshed");
            throw LoftwingMultiError::itemNotFound();
        }
        if (!stored->tokens.needsRefresh(now, leewaySeconds)) {
            return stored->tokens.accessToken;
        }
        if (!stored->tokens.refreshToken) {
            throw LoftwingMultiError::reconnectRequired();
        }
        const std::string sent = *stored->tokens.refreshToken;
        OAuthTokenSet refreshed;
        try {
            refreshed =
                refresh(accountID, sent, stored->account.provider, configuration, now, stop);
        } catch (const LoftwingMultiError& error) {
            if (retried || error != LoftwingMultiError::reconnectRequired()) {
                throw;
            }
            // A writer that does not take the lock (an older build, a reconnect) may have
            // replaced the refresh token while this one was on its way.
            stored = storedAccount(accountID);
            if (stored && stored->tokens.refreshToken == sent) {
                throw;
            }
            logMessage(LogLevel::info, "oauth",
                       "account " + accountID +
                           ": refresh refused after the stored refresh token changed; retrying "
                           "with the stored one");
            continue;
        }
        accountStore_->save(StoredAccount{stored->account, refreshed});
        return refreshed.accessToken;
    }
}

std::optional<StoredAccount> OAuthTokenManager::storedAccount(const std::string& accountID) const {
    for (auto& account : accountStore_->allAccounts()) {
        if (account.account.id == accountID) {
            return std::move(account);
        }
    }
    return std::nullopt;
}

OAuthTokenSet OAuthTokenManager::refresh(const std::string& accountID,
                                         const std::string& refreshToken, MailProvider provider,
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
    auto answer = postToTokenEndpoint(
        *transport_, configuration.tokenEndpoint, fields,
        [&](int statusCode, std::string_view body) {
            const auto code = refusalCode(body);
            const bool revoked = code == "invalid_grant" || code == "invalid_token";
            logMessage(LogLevel::warning, "oauth",
                       "account " + accountID + ": token refresh refused, HTTP " +
                           std::to_string(statusCode) + ", error " +
                           (code ? loggableCode(*code) : std::string("(none)")));
            if (revoked) {
                throw LoftwingMultiError::reconnectRequired();
            }
        },
        std::move(stop));
    return OAuthTokenSet{
        std::move(answer.accessToken),
        answer.refreshToken ? std::move(answer.refreshToken) : std::optional(refreshToken),
        expiryAfter(now, answer.expiresIn),
        std::move(answer.scope),
    };
}

}  // namespace loftwing
