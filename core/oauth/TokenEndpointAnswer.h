#pragma once

// The token endpoint's successful answer, shared by the code exchange and the refresh.

#include "records/AccountRecords.h"

#include <cstdint>
#include <optional>
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

// now + seconds. Throws LoftwingMultiError::invalidResponse for a lifetime beyond a century
// either way, which no provider sends and which the clock's range could not hold.
Timestamp expiryAfter(Timestamp now, std::int64_t seconds);

// Overwrites the text's bytes (a request body that carried a refresh token or a verifier).
void wipeText(std::string& text);

// Wipes a text when the scope ends, also when an exception leaves it.
class WipedOnExit {
  public:
    explicit WipedOnExit(std::string& text) : text_(text) {}
    WipedOnExit(const WipedOnExit&) = delete;
    WipedOnExit& operator=(const WipedOnExit&) = delete;
    ~WipedOnExit() { wipeText(text_); }

  private:
    std::string& text_;
};

}  // namespace loftwing
