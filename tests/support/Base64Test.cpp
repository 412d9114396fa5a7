#include "support/Base64.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <string>
#include <vector>

namespace loftwing {
namespace {

// RFC 4648 section 10.
const std::vector<std::pair<std::string, std::string>> rfc4648Vectors{
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

TEST(Base64, RFC4648Vectors) {
    for (const auto& [bytes, text] : rfc4648Vectors) {
        SCOPED_TRACE(text);
        EXPECT_EQ(base64DecodeStrict(text), bytes);
        std::string unpadded = text;
        unpadded.erase(unpadded.find_last_not_of('=') + 1);
        EXPECT_EQ(base64URLEncodeNoPadding(bytes), unpadded);
    }
}

TEST(Base64, AllByteValuesRoundTripAndUseTheRightAlphabet) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes += static_cast<char>(i);
    }
    std::string standard(sodium_base64_ENCODED_LEN(256, sodium_base64_VARIANT_ORIGINAL), '\0');
    sodium_bin2base64(standard.data(), standard.size(),
                      reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                      sodium_base64_VARIANT_ORIGINAL);
    standard.pop_back();  // the terminating NUL
    EXPECT_EQ(base64DecodeStrict(standard), bytes);
    EXPECT_EQ(base64URLEncodeNoPadding(bytes).find_first_of("+/="), std::string::npos);
    EXPECT_EQ(base64URLEncodeNoPadding("\xFB\xFF"), "-_8");
}

TEST(Base64, StrictDecodingRefusesEveryFault) {
    const std::vector<std::pair<const char*, std::string>> refused{
        {"length 1 mod 4", "Zm9vY"},
        {"three padding characters", "Z==="},
        {"padding in the middle", "Zg==Zm8="},
        {"space", "Zm9v YmFy"},
        {"url alphabet", "-_8="},
        {"non-ascii", "Zm9\xC3\xA9"},
    };
    for (const auto& [name, text] : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(base64DecodeStrict(text), std::nullopt);
    }
}

}  // namespace
}  // namespace loftwing
