#include "oauth/OAuthTokenExchangeClient.h"

#include "oauth/TokenEndpointAnswer.h"
#include "records/JsonFields.h"
#include "support/Text.h"

#include <unicode/uchar.h>

namespace loftwing {
namespace {

bool keptUnencoded(UChar32 c) {
    if (c == '-' || c == '.' || c == '_' || c == '~') {
        return true;
    }
    const auto category = static_cast<std::uint32_t>(U_GET_GC_MASK(c));
    return (category & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

// Throws invalidData for text that is not UTF-8: sending an empty value instead would make the
// provider refuse a request for a reason nobody could find.
std::string percentEncoded(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    bool wellFormed = true;
    forEachCodePoint(text, [&](std::int32_t c, std::string_view sequence) {
        if (c < 0) {
            wellFormed = false;
            return;
        }
        if (keptUnencoded(c)) {
            out += sequence;
            return;
        }
        for (const char byte : sequence) {
            const auto value = static_cast<unsigned char>(byte);
            out += '%';
            out += hex[value >> 4];
            out += hex[value & 0x0F];
        }
    });
    if (!wellFormed) {
        throw LoftwingMultiError::invalidData();
    }
    return out;
}

// Decodes {"error", optional "error_description"}; nothing when the body is not such an object.
std::optional<OAuthProviderError> providerError(std::string_view body) {
    try {
        const auto json = parseJson(body);
        const JsonFields fields(json, "OAuthProviderErrorResponse", DateEncoding::iso8601);
        auto code = fields.string("error");
        auto detail = fields.optionalString("error_description");
        return OAuthProviderError(code, detail);
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

}  // namespace

std::string formEncodedBody(const std::map<std::string, std::string>& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        if (!body.empty()) {
            body += '&';
        }
        body += percentEncoded(name);
        body += '=';
        body += percentEncoded(value);
    }
    return body;
}

OAuthProviderError::OAuthProviderError(std::string_view code,
                                       const std::optional<std::string>& detail)
    : code_(prefixCharacters(code, 80)),
      detail_(detail ? std::optional<std::string>(prefixCharacters(*detail, 200)) : std::nullopt) {
    description_ = "The mail provider rejected the sign-in request (" + code_;
    description_ += detail_ && !detail_->empty() ? "): " + *detail_ : ").";
}

OAuthTokenExchangeClient::OAuthTokenExchangeClient(std::shared_ptr<HTTPTransport> transport)
    : transport_(std::move(transport)) {}

OAuthTokenSet OAuthTokenExchangeClient::exchange(const std::string& code,
                                                 const std::string& verifier,
                                                 const ProviderOAuthConfiguration& configuration,
                                                 Timestamp now, std::stop_token stop) const {
    if (!parsesAsURL(configuration.tokenEndpoint)) {
        throw LoftwingMultiError::invalidData();
    }
    auto answer = postToTokenEndpoint(
        *transport_, configuration.tokenEndpoint,
        {
            {"client_id", configuration.clientID},
            {"code", code},
            {"code_verifier", verifier},
            {"grant_type", "authorization_code"},
            {"redirect_uri", configuration.redirectURI},
        },
        [](int, std::string_view body) {
            if (auto refusal = providerError(body)) {
                throw *refusal;
            }
        },
        std::move(stop));
    return OAuthTokenSet{std::move(answer.accessToken), std::move(answer.refreshToken),
                         expiryAfter(now, answer.expiresIn), std::move(answer.scope)};
}

}  // namespace loftwing
