#include "TokenRegistry.h"

#include "Crypto.h"

namespace zevirudi::sandbox {

namespace {

// Codes live as long as Google's and Microsoft's do, roughly.
constexpr auto codeLifetime = std::chrono::minutes(10);

// Prefixes like the real providers' make tokens recognisable in a trace; the "/" in Google's
// forms is kept because it must survive form encoding.
std::string codePrefix(Provider provider) {
    return provider == Provider::google ? "4/0sbx" : "M.C5_sbx.";
}
std::string accessPrefix(Provider provider) {
    return provider == Provider::google ? "ya29.sbx." : "EwB.sbx.";
}
std::string refreshPrefix(Provider provider) {
    return provider == Provider::google ? "1//0sbx" : "M.C5_rt.";
}

}  // namespace

std::string TokenRegistry::issueCode(CodeGrant grant) {
    std::string code = codePrefix(grant.provider) + randomToken(32);
    std::lock_guard lock(mutex_);
    codes_[code] = CodeEntry{std::move(grant), Clock::now() + codeLifetime};
    return code;
}

std::variant<TokenGrant, OAuthFailure> TokenRegistry::redeemCode(
    Provider provider, const std::string& code, const std::string& clientID,
    const std::string& redirectURI, const std::string& verifier, std::int64_t lifetimeSeconds) {
    std::lock_guard lock(mutex_);
    auto found = codes_.find(code);
    if (found == codes_.end() || found->second.grant.provider != provider) {
        return OAuthFailure{"invalid_grant", "The authorization code is unknown or was used."};
    }
    CodeEntry entry = std::move(found->second);
    codes_.erase(found);
    if (Clock::now() >= entry.expiresAt) {
        return OAuthFailure{"invalid_grant", "The authorization code has expired."};
    }
    if (entry.grant.clientID != clientID) {
        return OAuthFailure{"invalid_grant", "The code was issued to another client."};
    }
    if (entry.grant.redirectURI != redirectURI) {
        return OAuthFailure{"invalid_grant", "redirect_uri does not match the authorization."};
    }
    if (!isWellFormedVerifier(verifier) || s256Challenge(verifier) != entry.grant.codeChallenge) {
        return OAuthFailure{"invalid_grant", "The code verifier does not match the challenge."};
    }
    return issueLocked(provider, entry.grant.accountID, clientID, entry.grant.scope,
                       lifetimeSeconds);
}

std::variant<TokenGrant, OAuthFailure> TokenRegistry::refresh(Provider provider,
                                                              const std::string& refreshToken,
                                                              const std::string& clientID,
                                                              std::int64_t lifetimeSeconds,
                                                              bool rotate) {
    std::lock_guard lock(mutex_);
    auto found = refreshTokens_.find(refreshToken);
    if (found == refreshTokens_.end() || found->second.provider != provider ||
        !found->second.usable) {
        return OAuthFailure{"invalid_grant", "Token has been expired or revoked."};
    }
    if (found->second.clientID != clientID) {
        return OAuthFailure{"invalid_grant", "The refresh token was issued to another client."};
    }
    RefreshEntry entry = found->second;
    TokenGrant grant =
        issueLocked(provider, entry.accountID, clientID, entry.scope, lifetimeSeconds);
    if (rotate) {
        found->second.usable = false;
        return grant;
    }
    // issueLocked made a fresh refresh token; without rotation the old one stays the only one.
    refreshTokens_.erase(*grant.refreshToken);
    grant.refreshToken =
        provider == Provider::microsoft ? std::optional<std::string>(refreshToken) : std::nullopt;
    return grant;
}

TokenGrant TokenRegistry::issue(Provider provider, const std::string& accountID,
                                const std::string& clientID, const std::string& scope,
                                std::int64_t lifetimeSeconds) {
    std::lock_guard lock(mutex_);
    return issueLocked(provider, accountID, clientID, scope, lifetimeSeconds);
}

std::variant<std::string, TokenRegistry::AccessRefusal> TokenRegistry::authorize(
    Provider provider, const std::string& accessToken) const {
    if (accessToken.empty()) {
        return AccessRefusal::missing;
    }
    std::lock_guard lock(mutex_);
    auto found = accessTokens_.find(accessToken);
    if (found == accessTokens_.end() || found->second.provider != provider) {
        return AccessRefusal::unknown;
    }
    if (Clock::now() >= found->second.expiresAt) {
        return AccessRefusal::expired;
    }
    return found->second.accountID;
}

void TokenRegistry::revoke(const std::string& accountID) {
    std::lock_guard lock(mutex_);
    std::erase_if(accessTokens_,
                  [&](const auto& item) { return item.second.accountID == accountID; });
    std::erase_if(codes_,
                  [&](const auto& item) { return item.second.grant.accountID == accountID; });
    for (auto& [token, entry] : refreshTokens_) {
        if (entry.accountID == accountID) {
            entry.usable = false;
        }
    }
}

void TokenRegistry::clear() {
    std::lock_guard lock(mutex_);
    codes_.clear();
    accessTokens_.clear();
    refreshTokens_.clear();
}

TokenGrant TokenRegistry::issueLocked(Provider provider, const std::string& accountID,
                                      const std::string& clientID, const std::string& scope,
                                      std::int64_t lifetimeSeconds) {
    TokenGrant grant;
    grant.accountID = accountID;
    grant.accessToken = accessPrefix(provider) + randomToken(32);
    grant.refreshToken = refreshPrefix(provider) + randomToken(32);
    grant.expiresIn = lifetimeSeconds;
    grant.scope = scope;
    accessTokens_[grant.accessToken] =
        AccessEntry{provider, accountID, Clock::now() + std::chrono::seconds(lifetimeSeconds)};
    refreshTokens_[*grant.refreshToken] = RefreshEntry{provider, accountID, clientID, scope, true};
    return grant;
}

}  // namespace zevirudi::sandbox
