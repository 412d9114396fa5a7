#include "records/NativeMessages.h"

#include "records/Errors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
constexpr auto frames = DateEncoding::millisecondsSince1970;

std::vector<std::string> numberedIDs(int count) {
    std::vector<std::string> ids;
    for (int i = 1; i <= count; ++i) {
        ids.push_back("m" + std::to_string(i));
    }
    return ids;
}

TEST(NativeHostRequest, WatchRequestOnlyForCompletePolls) {
    struct Row {
        const char* name;
        std::string json;
        std::optional<WatchRequest> expected;
    };
    const std::vector<Row> rows{
        {"complete",
         R"({"type":"poll","origin":"https://a","sinceEpochMilliseconds":5,"seenMessageIDs":["x"]})",
         WatchRequest("poll", "https://a", 5, {"x"})},
        {"no seen list", R"({"type":"poll","origin":"https://a","sinceEpochMilliseconds":5})",
         WatchRequest("poll", "https://a", 5, {})},
        {"origin not examined", R"({"type":"poll","origin":"","sinceEpochMilliseconds":0})",
         WatchRequest("poll", "", 0, {})},
        {"no start", R"({"type":"poll","origin":"https://a"})", std::nullopt},
        {"other case", R"({"type":"Poll","origin":"https://a","sinceEpochMilliseconds":5})",
         std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(decodeJson<NativeHostRequest>(row.json, frames).watchRequest(), row.expected);
    }
}

TEST(NativeHostRequest, SeenIdentifiersAreLimitedToTheLast500) {
    const auto sent = numberedIDs(750);
    const std::vector<std::string> last500(sent.begin() + 250, sent.end());

    // Decoding keeps everything; the derived poll keeps identifiers 251 to 750.
    std::string json =
        R"({"type":"poll","origin":"https://a","sinceEpochMilliseconds":1,"seenMessageIDs":[)";
    for (std::size_t i = 0; i < sent.size(); ++i) {
        json += (i ? ",\"" : "\"") + sent[i] + "\"";
    }
    json += "]}";
    const auto decoded = decodeJson<NativeHostRequest>(json, frames);
    ASSERT_TRUE(decoded.seenMessageIDs);
    EXPECT_EQ(decoded.seenMessageIDs->size(), 750u);
    ASSERT_TRUE(decoded.watchRequest());
    EXPECT_EQ(decoded.watchRequest()->seenMessageIDs, last500);

    EXPECT_EQ(NativeHostRequest("poll", "o", 1, sent, {}, {}).seenMessageIDs, last500);
    EXPECT_EQ(WatchRequest("poll", "o", 1, sent).seenMessageIDs, last500);
    EXPECT_EQ(WatchRequest("poll", "o", 1, numberedIDs(500)).seenMessageIDs, numberedIDs(500));
    EXPECT_EQ(WatchRequest("poll", "o", 1, numberedIDs(501)).seenMessageIDs.front(), "m2");
}

TEST(WatchRequest, SinceIsTheMillisecondsAfter1970) {
    const WatchRequest request("poll", "o", 1'700'000'000'123, {});
    EXPECT_EQ(request.since(), Timestamp{1'700'000'000s + 123ms});
    EXPECT_EQ(WatchRequest("poll", "o", -1, {}).since(), Timestamp{-1ms});
    EXPECT_EQ(WatchRequest("poll", "o", INT64_MAX, {}).since(), Timestamp::max());
    EXPECT_EQ(WatchRequest("poll", "o", INT64_MIN, {}).since(), Timestamp::min());
}

}  // namespace
}  // namespace loftwing
