#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zevirudi::sandbox {

// base64url without "=" padding (RFC 4648 section 5), as OAuth and Gmail use it.
std::string base64URL(std::string_view bytes);
// `byteCount` random bytes as base64url text.
std::string randomToken(std::size_t byteCount);
// The RFC 7636 S256 code challenge of a verifier.
std::string s256Challenge(std::string_view verifier);
// Whether a verifier has the form RFC 7636 section 4.1 demands: 43 to 128 unreserved characters.
bool isWellFormedVerifier(std::string_view verifier);

}  // namespace zevirudi::sandbox
