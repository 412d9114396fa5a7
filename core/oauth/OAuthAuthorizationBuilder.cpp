#include "oauth/OAuthAuthorizationBuilder.h"

#include "records/Errors.h"
#include "support/Base64.h"
#include "support/Text.h"

#include <sodium.h>
#include <boost/url/encode.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/rfc/pchars.hpp>
#include <boost/url/url.hpp>

#include <array>
#include <map>
#include <utility>
#include <vector>

namespace loftwing {
namespace {

// libsodium must be initialised before its random source is used; sodium_init is idempotent and
// thread-safe. It can fail only when the system has no random source at all.
void requireSodium() {
    if (sodium_init() < 0) {
        throw LoftwingMultiError::keychainStatus(-1);
    }
}

// base64url text of n fresh random bytes; the raw bytes are wiped before they are released.
template <std::size_t n>
std::string randomText() {
    std::array<unsigned char, n> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    std::string text = base64URLEncodeNoPadding(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    sodium_memzero(bytes.data(), bytes.size());
    return text;
}

// Query names and values keep the characters a query may hold, except the ones that delimit items
// ("&", "="), and "+", which many servers read as a space: an address such as
// "name+tag@example.com" must reach the provider unchanged. A space becomes %20.
constexpr auto queryItemChars = boost::urls::pchars + '/' + '?' - '&' - '=' - '+';

std::string encodeQueryPart(std::string_view text) {
    boost::urls::encoding_opts options;
    options.space_as_plus = false;
    return boost::urls::encode(boost::core::string_view(text.data(), text.size()), queryItemChars,
                               options);
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) {
            out += separator;
        }
        out += parts[i];
    }
    return out;
}

}  // namespace

OAuthAuthorizationContext::~OAuthAuthorizationContext() {
    sodium_memzero(codeVerifier.data(), codeVerifier.size());
}

std::string OAuthAuthorizationBuilder::codeChallenge(std::string_view codeVerifier) {
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(codeVerifier.data()),
                       codeVerifier.size());
    return base64URLEncodeNoPadding(
        std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

OAuthAuthorizationContext OAuthAuthorizationBuilder::make(
    MailProvider provider, const ProviderOAuthConfiguration& configuration,
    const std::optional<std::string>& loginHint) {
    if (!configuration.isConfigured()) {
        throw LoftwingMultiError::invalidData();
    }
    const auto& endpointText = configuration.authorizationEndpoint;
    const auto& redirectText = configuration.redirectURI;
    auto endpoint =
        boost::urls::parse_uri(boost::core::string_view(endpointText.data(), endpointText.size()));
    const auto redirect =
        boost::urls::parse_uri(boost::core::string_view(redirectText.data(), redirectText.size()));
    if (!endpoint || !redirect || !redirect->has_scheme()) {
        throw LoftwingMultiError::invalidData();
    }
    const std::string callbackScheme(redirect->scheme());

    requireSodium();
    std::string codeVerifier = randomText<64>();
    std::string state = randomText<32>();
    const std::string challenge = codeChallenge(codeVerifier);

    const std::string hint = trimmingWhitespaceAndNewlines(loginHint.value_or(""));
    const bool useHint = hint.find('@') != std::string::npos && !containsWhitespaceOrNewline(hint);

    std::vector<std::pair<std::string_view, std::string>> items{
        {"client_id", configuration.clientID},
        {"redirect_uri", configuration.redirectURI},
        {"response_type", "code"},
        {"scope", joined(configuration.scopes, " ")},
        {"state", state},
        {"code_challenge", challenge},
        {"code_challenge_method", "S256"},
    };
    if (useHint) {
        items.emplace_back("login_hint", hint);
    }
    if (provider == MailProvider::google) {
        items.emplace_back("access_type", "offline");
        items.emplace_back("prompt", "consent select_account");
    } else {
        items.emplace_back("prompt", "select_account");
    }

    std::string query;
    for (const auto& [name, value] : items) {
        if (!query.empty()) {
            query += '&';
        }
        query += encodeQueryPart(name);
        query += '=';
        query += encodeQueryPart(value);
    }
    boost::urls::url url(*endpoint);
    url.set_encoded_query(query);

    return OAuthAuthorizationContext{
        std::string(url.buffer()), configuration.redirectURI, callbackScheme,
        std::move(state),          std::move(codeVerifier),
    };
}

std::string OAuthAuthorizationBuilder::authorizationCode(std::string_view redirectURL,
                                                         std::string_view expectedState) {
    const auto parsed =
        boost::urls::parse_uri(boost::core::string_view(redirectURL.data(), redirectURL.size()));
    if (!parsed) {
        throw LoftwingMultiError::invalidResponse();
    }
    // "+" is an ordinary character of a redirect's query, not a space.
    boost::urls::encoding_opts options;
    options.space_as_plus = false;
    std::map<std::string, std::string> items;
    for (const auto& item : parsed->params(options)) {
        if (item.has_value) {
            items.emplace(item.key, item.value);
        }
    }
    const auto state = items.find("state");
    if (state == items.end() || state->second != expectedState) {
        throw LoftwingMultiError::authenticationFailed();
    }
    if (items.contains("error")) {
        throw LoftwingMultiError::authenticationFailed();
    }
    const auto code = items.find("code");
    if (code == items.end() || code->second.empty()) {
        throw LoftwingMultiError::invalidResponse();
    }
    return code->second;
}

}  // namespace loftwing
