#pragma once

#include "records/Errors.h"
#include "records/JsonCoding.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace loftwing {

// Chrome's native messaging frame: a 4-byte little-endian length, then that many bytes of UTF-8
// JSON. Dates inside frames are milliseconds since 1970.
namespace NativeMessageCodec {

inline constexpr std::size_t maximumHostMessageBytes = 1'048'576;

// The length announced by a 4-byte little-endian prefix.
std::uint32_t announcedLength(const unsigned char prefix[4]);
// The frame for a JSON text, with ill-formed UTF-8 replaced by U+FFFD; throws responseTooLarge
// when the text is longer than maximumHostMessageBytes.
std::string frameJson(std::string json);
// The JSON text of a complete frame; throws invalidData on any framing fault.
std::string_view frameBody(std::string_view frame);

template <typename T>
std::string encode(const T& value) {
    return frameJson(encodeJson(value, DateEncoding::millisecondsSince1970));
}

template <typename T>
T decode(std::string_view frame) {
    return decodeJson<T>(frameBody(frame), DateEncoding::millisecondsSince1970);
}

}  // namespace NativeMessageCodec
}  // namespace loftwing
