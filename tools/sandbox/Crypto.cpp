#include "Crypto.h"

#include <sodium.h>

#include <algorithm>
#include <array>
#include <vector>

namespace zevirudi::sandbox {

std::string base64URL(std::string_view bytes) {
    const int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
    std::string text(sodium_base64_encoded_len(bytes.size(), variant), '\0');
    sodium_bin2base64(text.data(), text.size(),
                      reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), variant);
    text.resize(text.find('\0'));
    return text;
}

std::string randomToken(std::size_t byteCount) {
    std::vector<unsigned char> bytes(byteCount);
    randombytes_buf(bytes.data(), bytes.size());
    return base64URL(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string s256Challenge(std::string_view verifier) {
    std::array<unsigned char, crypto_hash_sha256_BYTES> digest{};
    crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(verifier.data()),
                       verifier.size());
    return base64URL(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

bool isWellFormedVerifier(std::string_view verifier) {
    if (verifier.size() < 43 || verifier.size() > 128) {
        return false;
    }
    return std::all_of(verifier.begin(), verifier.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               c == '-' || c == '.' || c == '_' || c == '~';
    });
}

}  // namespace zevirudi::sandbox
