#pragma once

#include "Mailbox.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

namespace zevirudi::sandbox {

// A refusal in the shape of an OAuth error answer.
struct OAuthFailure {
    std::string error;
    std::string description;
};

struct TokenGrant {
    std::string accountID;
    std::string accessToken;
    std::optional<std::string> refreshToken;  // absent when the provider does not send one
    std::int64_t expiresIn = 0;
    std::string scope;
};

// What an authorization code stands for until it is redeemed.
struct CodeGrant {
    Provider provider = Provider::google;
    std::string accountID;
    std::string clientID;
    std::string redirectURI;
    std::string codeChallenge;
    std::string scope;
};

// Authorization codes, access tokens and refresh tokens of both providers. Thread-safe.
class TokenRegistry {
  public:
    using Clock = std::chrono::system_clock;

    enum class AccessRefusal { missing, unknown, expired };

    std::string issueCode(CodeGrant grant);
    // Codes are single-use: any attempt that names a known code consumes it.
    std::variant<TokenGrant, OAuthFailure> redeemCode(Provider provider, const std::string& code,
                                                      const std::string& clientID,
                                                      const std::string& redirectURI,
                                                      const std::string& verifier,
                                                      std::int64_t lifetimeSeconds);
    // With `rotate`, the answer carries a new refresh token and the one sent stops working.
    // Without it, Google sends no refresh token and Microsoft repeats the one sent.
    std::variant<TokenGrant, OAuthFailure> refresh(Provider provider,
                                                   const std::string& refreshToken,
                                                   const std::string& clientID,
                                                   std::int64_t lifetimeSeconds, bool rotate);
    // Tokens for a mailbox without the sign-in flow. A lifetime of zero or less gives an access
    // token that is already expired.
    TokenGrant issue(Provider provider, const std::string& accountID, const std::string& clientID,
                     const std::string& scope, std::int64_t lifetimeSeconds);
    // The account a bearer token of `provider` belongs to, or why it is refused.
    std::variant<std::string, AccessRefusal> authorize(Provider provider,
                                                       const std::string& accessToken) const;
    // Every token of the account stops working; codes not yet redeemed too.
    void revoke(const std::string& accountID);
    void clear();

  private:
    struct AccessEntry {
        Provider provider;
        std::string accountID;
        Clock::time_point expiresAt;
    };
    struct RefreshEntry {
        Provider provider;
        std::string accountID;
        std::string clientID;
        std::string scope;
        bool usable = true;  // false once rotated away or revoked
    };
    struct CodeEntry {
        CodeGrant grant;
        Clock::time_point expiresAt;
    };

    TokenGrant issueLocked(Provider provider, const std::string& accountID,
                           const std::string& clientID, const std::string& scope,
                           std::int64_t lifetimeSeconds);

    mutable std::mutex mutex_;
    std::map<std::string, CodeEntry> codes_;
    std::map<std::string, AccessEntry> accessTokens_;
    std::map<std::string, RefreshEntry> refreshTokens_;
};

}  // namespace zevirudi::sandbox
