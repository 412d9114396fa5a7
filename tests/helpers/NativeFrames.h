#pragma once

#include <cstdint>
#include <string>

namespace loftwing::test {

// A 4-byte little-endian length prefix, written byte by byte as Chrome does.
inline std::string lengthPrefix(std::uint32_t length) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) {
        bytes += static_cast<char>(length >> shift & 0xFF);
    }
    return bytes;
}

inline std::string frameOf(const std::string& json) {
    return lengthPrefix(static_cast<std::uint32_t>(json.size())) + json;
}

}  // namespace loftwing::test
