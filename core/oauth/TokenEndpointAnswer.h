#pragma once

// The token endpoint request shared by the code exchange and the refresh, and its successful
// answer.

#include "oauth/HTTPTransport.h"
#include "records/AccountRecords.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace loftwing {

struct TokenEndpointAnswer {
    std::string accessToken;
    std::optional<std::string> refreshToken;
    std::int64_t expiresIn = 0;
    std::optional<std::string> scope;
};

// Decodes {"access_token", "expires_in", optional "refresh_token", "scope"}. Throws
// JsonDecodingError.
TokenEndpointAnswer decodeTokenEndpointAnswer(std::string_view body);

// Reads a non-2xx answer of the token endpoint and throws the caller's error for it; returning
// means the answer meant nothing in particular.
using TokenEndpointRefusal = std::function<void(int statusCode, std::string_view body)>;

// POSTs the form-encoded fields to the token endpoint (60 s time-out; the body, which carries a
// code, a verifier or a refresh token, is wiped afterwards) and decodes the 2xx answer. A non-2xx
// answer goes to `refused` first and is httpStatus(status) when that returns. Throws
// LoftwingMultiError (invalidData for a field that is not UTF-8, httpStatus, invalidResponse for
// an empty access token), JsonDecodingError, TransportError, OperationCancelled and whatever
// `refused` throws.
TokenEndpointAnswer postToTokenEndpoint(HTTPTransport& transport, const std::string& endpoint,
                                        const std::map<std::string, std::string>& fields,
                                        const TokenEndpointRefusal& refused, std::stop_token stop);

// now + seconds. Throws LoftwingMultiError::invalidResponse for a lifetime beyond a century
// either way, which no provider sends and which the clock's range could not hold.
Timestamp expiryAfter(Timestamp now, std::int64_t seconds);

}  // namespace loftwing
