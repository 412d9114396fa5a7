#include "oauth/TokenEndpointAnswer.h"

#include "oauth/OAuthTokenExchangeClient.h"
#include "records/Errors.h"
#include "records/JsonFields.h"
#include "support/SecretWiping.h"

#include <utility>

namespace loftwing {

TokenEndpointAnswer decodeTokenEndpointAnswer(std::string_view body) {
    const auto json = parseJson(body);
    const JsonFields fields(json, "TokenResponse", DateEncoding::iso8601);
    return TokenEndpointAnswer{
        fields.string("access_token"),
        fields.optionalString("refresh_token"),
        fields.int64("expires_in"),
        fields.optionalString("scope"),
    };
}

TokenEndpointAnswer postToTokenEndpoint(HTTPTransport& transport, const std::string& endpoint,
                                        const std::map<std::string, std::string>& fields,
                                        const TokenEndpointRefusal& refused, std::stop_token stop) {
    HTTPRequest request;
    request.url = endpoint;
    request.method = "POST";
    request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
    request.body = formEncodedBody(fields);
    const WipedOnExit wipedBody(request.body);

    HTTPResponse response = transport.data(request, std::move(stop));
    const WipedOnExit wipedAnswer(response.body);

    if (response.statusCode < 200 || response.statusCode > 299) {
        refused(response.statusCode, response.body);
        throw LoftwingMultiError::httpStatus(response.statusCode);
    }
    auto answer = decodeTokenEndpointAnswer(response.body);
    if (answer.accessToken.empty()) {
        throw LoftwingMultiError::invalidResponse();
    }
    return answer;
}

Timestamp expiryAfter(Timestamp now, std::int64_t seconds) {
    constexpr std::int64_t century = 100LL * 366 * 24 * 3600;
    if (seconds > century || seconds < -century) {
        throw LoftwingMultiError::invalidResponse();
    }
    return now + std::chrono::seconds(seconds);
}

}  // namespace loftwing
