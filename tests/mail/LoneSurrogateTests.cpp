#include "mail/ProviderMessages.h"
#include "records/Errors.h"
#include "records/JsonCoding.h"

#include <gtest/gtest.h>

namespace loftwing {
namespace {

const std::string replacement = "\xEF\xBF\xBD";   // U+FFFD
const std::string grinning = "\xF0\x9F\x98\x80";  // U+1F600, \ud83d\ude00

// A preview cut inside an emoji reads as the replacement character, in the mail decoders and in
// the parser every other provider answer goes through; pairs and other escapes read as before.
TEST(LoneSurrogates, ReadAsReplacementCharacter) {
    struct Row {
        const char* name;
        std::string escaped;  // the JSON string's contents as sent
        std::string expected;
    };
    const Row rows[] = {
        {"pair", R"(a\ud83d\ude00b)", "a" + grinning + "b"},
        {"lone high", R"(a\ud83db)", "a" + replacement + "b"},
        {"lone high before another escape", R"(\ud83d\n)", replacement + "\n"},
        {"lone high before a non-surrogate escape", R"(\ud83d\u0041)", replacement + "A"},
        {"lone low", R"(\ude00)", replacement},
        {"high, then a pair", R"(\ud83d\ud83d\ude00)", replacement + grinning},
        {"escaped backslash before u", R"(\\ud83d)", "\\ud83d"},
        {"lone high at the end of the string", R"(x\udbff)", "x" + replacement},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string json = R"({"value": [{"id": "m1", "receivedDateTime": "x", )"
                                 R"("bodyPreview": ")" +
                                 row.escaped + R"("}]})";
        EXPECT_EQ(decodeGraphListResponse(json).value.at(0).bodyPreview, row.expected);
        EXPECT_EQ(parseJson(json).at("value").at(0).at("bodyPreview").as_string(), row.expected);
    }

    // A Gmail message whose snippet (a key nothing reads) holds half a pair still decodes.
    const auto message = decodeGmailMessage(R"({"id": "g1", "snippet": "\ud83d"})");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->id, "g1");

    // Cut at the end of the input, inside or right after an escape: still refused, never read past.
    for (const std::string cut : {R"({"a": "\ud83d)", R"({"a": "\ud8)", R"({"a": "\)"}) {
        SCOPED_TRACE(cut);
        EXPECT_THROW(decodeGraphListResponse(cut), JsonDecodingError);
        EXPECT_THROW(parseJson(cut), JsonDecodingError);
    }
}

}  // namespace
}  // namespace loftwing
