#include "oauth/TokenEndpointAnswer.h"

#include "records/Errors.h"
#include "records/JsonFields.h"

#include <sodium.h>

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

Timestamp expiryAfter(Timestamp now, std::int64_t seconds) {
    constexpr std::int64_t century = 100LL * 366 * 24 * 3600;
    if (seconds > century || seconds < -century) {
        throw LoftwingMultiError::invalidResponse();
    }
    return now + std::chrono::seconds(seconds);
}

void wipeText(std::string& text) {
    sodium_memzero(text.data(), text.size());
}

}  // namespace loftwing
