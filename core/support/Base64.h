#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace loftwing {

// base64url (RFC 4648 section 5) without "=" padding.
std::string base64URLEncodeNoPadding(std::string_view bytes);
// Strict standard base64: the length must be a multiple of 4, padding only at the end, and no
// character outside the alphabet (no white space). Returns nothing on any fault.
std::optional<std::string> base64DecodeStrict(std::string_view text);

}  // namespace loftwing
