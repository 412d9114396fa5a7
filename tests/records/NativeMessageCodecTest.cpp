#include "records/NativeMessageCodec.h"

#include "helpers/NativeFrames.h"
#include "helpers/ThrownError.h"
#include "records/NativeMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace loftwing {
namespace {

using test::thrownError;

using loftwing::test::frameOf;
constexpr auto prefix = loftwing::test::lengthPrefix;

// A response whose JSON text is exactly `size` bytes: one warning padded with letters.
NativeHostResponse responseOfJsonSize(std::size_t size) {
    NativeHostResponse response{true, {}, {}, {""}, {}, {}};
    const auto base = encodeJson(response, DateEncoding::millisecondsSince1970).size();
    response.warnings[0].assign(size - base, 'a');
    return response;
}

TEST(NativeMessageCodec, EncodeAllowsExactlyOneMebibyte) {
    const auto atLimit = responseOfJsonSize(NativeMessageCodec::maximumHostMessageBytes);
    const auto frame = NativeMessageCodec::encode(atLimit);
    ASSERT_EQ(frame.size(), 4 + 1'048'576u);
    EXPECT_EQ(frame.substr(0, 4), std::string("\x00\x00\x10\x00", 4));
    EXPECT_EQ(frame.substr(4), encodeJson(atLimit, DateEncoding::millisecondsSince1970));

    const auto overLimit = responseOfJsonSize(NativeMessageCodec::maximumHostMessageBytes + 1);
    EXPECT_EQ(thrownError<LoftwingMultiError>([&] { NativeMessageCodec::encode(overLimit); }),
              LoftwingMultiError::responseTooLarge());
}

TEST(NativeMessageCodec, FramesCarryOnlyWellFormedUTF8) {
    // Chrome drops a reply that is not UTF-8; one bad byte in a mail body must not cost the answer.
    const NativeHostResponse response{true, {}, {}, {"x\xFFy", "ok \xC3\xA9"}, {}, {}};
    const auto frame = NativeMessageCodec::encode(response);
    EXPECT_EQ(frame.substr(4),
              "{\"ok\":true,\"messages\":[],\"accounts\":[],\"warnings\":[\"x\xEF\xBF\xBDy\","
              "\"ok \xC3\xA9\"],\"accountChecks\":[]}");
    EXPECT_EQ(
        NativeMessageCodec::announcedLength(reinterpret_cast<const unsigned char*>(frame.data())),
        frame.size() - 4);
}

TEST(NativeMessageCodec, LengthIsLittleEndian) {
    const unsigned char bytes[4]{0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(NativeMessageCodec::announcedLength(bytes), 0x01020304u);
    const unsigned char highest[4]{0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(NativeMessageCodec::announcedLength(highest), 0xFFFFFFFFu);
}

TEST(NativeMessageCodec, EveryFramingFaultIsInvalidData) {
    const std::string json = R"({"type":"status"})";
    struct Row {
        const char* name;
        std::string frame;
    };
    const std::vector<Row> rows{
        {"three bytes", std::string("\x02\x00\x00", 3)},
        {"length 10, 9 bytes follow", prefix(10) + std::string(9, ' ')},
        {"one byte above 1 MiB", prefix(1'048'577) + std::string(1'048'577, ' ')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(thrownError<LoftwingMultiError>(
                      [&] { NativeMessageCodec::decode<NativeHostRequest>(row.frame); }),
                  LoftwingMultiError::invalidData());
    }
}

TEST(NativeMessageCodec, JsonFaultsAreTheDecodersOwn) {
    const std::vector<std::string> bodies{
        "", "{}", "{", "null", R"({"type":"status",})", "{\"type\":\"\xC3\x28\"}"};
    for (const auto& body : bodies) {
        SCOPED_TRACE(body);
        EXPECT_THROW(NativeMessageCodec::decode<NativeHostRequest>(frameOf(body)),
                     JsonDecodingError);
    }
}

}  // namespace
}  // namespace loftwing
