#include "support/Base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace loftwing {
namespace {

constexpr char standardAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> makeDecodeTable() {
    std::array<std::int8_t, 256> table{};
    for (auto& entry : table) {
        entry = -1;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(standardAlphabet[i])] = static_cast<std::int8_t>(i);
    }
    return table;
}

constexpr auto decodeTable = makeDecodeTable();

}  // namespace

std::string base64URLEncodeNoPadding(std::string_view bytes) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    const auto byteAt = [&](std::size_t k) {
        return k < bytes.size() ? static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[k]))
                                : 0u;
    };
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t v = byteAt(i) << 16 | byteAt(i + 1) << 8 | byteAt(i + 2);
        // n bytes carry n + 1 characters' worth of bits.
        const std::size_t characters = std::min<std::size_t>(bytes.size() - i, 3) + 1;
        for (std::size_t c = 0; c < characters; ++c) {
            out += alphabet[v >> (18 - 6 * c) & 63];
        }
    }
    return out;
}

std::optional<std::string> base64DecodeStrict(std::string_view text) {
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::size_t padding = 0;
    if (!text.empty() && text.back() == '=') {
        padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    }
    std::string out;
    out.reserve(text.size() / 4 * 3);
    const std::size_t dataLength = text.size() - padding;
    std::uint32_t accumulator = 0;
    int bits = 0;
    for (std::size_t i = 0; i < dataLength; ++i) {
        const std::int8_t value = decodeTable[static_cast<unsigned char>(text[i])];
        if (value < 0) {
            return std::nullopt;
        }
        accumulator = accumulator << 6 | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>(accumulator >> bits & 0xFF);
        }
    }
    return out;
}

}  // namespace loftwing
