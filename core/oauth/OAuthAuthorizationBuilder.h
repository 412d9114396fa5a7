#pragma once

#include "oauth/AppConfiguration.h"
#include "records/MailProvider.h"

#include <optional>
#include <string>
#include <string_view>

namespace loftwing {

// What the account connector keeps while the browser shows the provider's consent page.
struct OAuthAuthorizationContext {
    std::string authorizationURL;  // the full request to open in the browser
    std::string redirectURI;       // the configured redirect URI, checked to parse
    std::string callbackScheme;    // the redirect URI's scheme as written
    std::string state;             // 43 characters
    std::string codeVerifier;      // 86 characters; a secret until the code exchange

    // Wipes the code verifier's bytes.
    ~OAuthAuthorizationContext();

    friend bool operator==(const OAuthAuthorizationContext&,
                           const OAuthAuthorizationContext&) = default;
};

// Builds OAuth 2.0 authorization-code requests with PKCE (S256) and checks the redirects.
// Stateless and thread-safe.
class OAuthAuthorizationBuilder {
  public:
    OAuthAuthorizationBuilder() = delete;

    // A new request with fresh random state and verifier on every call. Throws
    // LoftwingMultiError::invalidData when the provider's settings are not usable.
    static OAuthAuthorizationContext make(MailProvider provider,
                                          const ProviderOAuthConfiguration& configuration,
                                          const std::optional<std::string>& loginHint);

    // The authorization code of a redirect. Throws LoftwingMultiError::authenticationFailed for a
    // missing or different state or an "error" item, invalidResponse for an address that does not
    // parse or a missing or empty code.
    static std::string authorizationCode(std::string_view redirectURL,
                                         std::string_view expectedState);

    // The S256 code challenge of a verifier: base64url of its SHA-256 digest, without padding.
    static std::string codeChallenge(std::string_view codeVerifier);
};

}  // namespace loftwing
