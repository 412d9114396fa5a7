#include "records/NativeMessageCodec.h"

#include "support/Text.h"

namespace loftwing::NativeMessageCodec {

std::uint32_t announcedLength(const unsigned char prefix[4]) {
    return static_cast<std::uint32_t>(prefix[0]) | static_cast<std::uint32_t>(prefix[1]) << 8 |
           static_cast<std::uint32_t>(prefix[2]) << 16 |
           static_cast<std::uint32_t>(prefix[3]) << 24;
}

std::string frameJson(std::string json) {
    // Chrome refuses a reply that is not UTF-8, and the JSON writer copies string bytes as they
    // are: one ill-formed byte in a mail body would cost the whole answer.
    if (!isValidUTF8(json)) {
        json = replacingInvalidUTF8(json);
    }
    if (json.size() > maximumHostMessageBytes) {
        throw LoftwingMultiError::responseTooLarge();
    }
    const auto length = static_cast<std::uint32_t>(json.size());
    std::string frame;
    frame.reserve(json.size() + 4);
    for (int shift = 0; shift < 32; shift += 8) {
        frame += static_cast<char>(length >> shift & 0xFF);
    }
    frame += json;
    return frame;
}

std::string_view frameBody(std::string_view frame) {
    if (frame.size() < 4) {
        throw LoftwingMultiError::invalidData();
    }
    const auto length = announcedLength(reinterpret_cast<const unsigned char*>(frame.data()));
    if (length > maximumHostMessageBytes || frame.size() - 4 != length) {
        throw LoftwingMultiError::invalidData();
    }
    return frame.substr(4);
}

}  // namespace loftwing::NativeMessageCodec
