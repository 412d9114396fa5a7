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

std::optional<std::string> percentEncoded(std::string_view text) {
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
        return std::nullopt;
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
        body += percentEncoded(name).value_or("");
        body += '=';
        body += percentEncoded(value).value_or("");
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
    HTTPRequest request;
    request.url = configuration.tokenEndpoint;
    request.method = "POST";
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    request.body = formEncodedBody({
        {"client_id", configuration.clientID},
        {"code", code},
        {"code_verifier", verifier},
        {"grant_type", "authorization_code"},
        {"redirect_uri", configuration.redirectURI},
    });

    const WipedOnExit wipedBody(request.body);

    const HTTPResponse response = transport_->data(request, std::move(stop));

    if (response.statusCode < 200 || response.statusCode > 299) {
        if (auto refusal = providerError(response.body)) {
            throw *refusal;
        }
        throw LoftwingMultiError::httpStatus(response.statusCode);
    }
    auto answer = decodeTokenEndpointAnswer(response.body);
    if (answer.accessToken.empty()) {
        throw LoftwingMultiError::invalidResponse();
    }
    return OAuthTokenSet{std::move(answer.accessToken), std::move(answer.refreshToken),
                         expiryAfter(now, answer.expiresIn), std::move(answer.scope)};
}

}  // namespace loftwing
