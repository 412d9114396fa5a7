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

const CodeNotificationPayload codePayload{"123456",     "shop.example", "Mail from Shop",
                                          std::nullopt, "Gmail",        true};
const LinkNotificationPayload linkPayload{
    "https://shop.example/l?t=1", "shop.example", "Shop", "a@x", "Gmail", "sign-in"};

TEST(NativeHostRequest, DecodesEveryShapeTheExtensionSends) {
    struct Row {
        const char* name;
        std::string json;
        NativeHostRequest expected;
    };
    std::vector<Row> rows{
        {"status only", R"({"type":"status"})", {"status", {}, {}, {}, {}, {}}},
        {"nulls are absent",
         R"({"type":"health","origin":null,"sinceEpochMilliseconds":null,"seenMessageIDs":null,)"
         R"("linkNotification":null,"codeNotification":null})",
         {"health", {}, {}, {}, {}, {}}},
        {"poll",
         R"({"type":"poll","origin":"https://shop.example","sinceEpochMilliseconds":1700000000123,)"
         R"("seenMessageIDs":["a","b"],"tabId":7})",
         {"poll",
          "https://shop.example",
          1'700'000'000'123,
          std::vector<std::string>{"a", "b"},
          {},
          {}}},
        {"negative start",
         R"({"type":"poll","sinceEpochMilliseconds":-5})",
         {"poll", {}, -5, {}, {}, {}}},
        {"whole number written as a double",
         R"({"type":"poll","sinceEpochMilliseconds":1.7E12})",
         {"poll", {}, 1'700'000'000'000, {}, {}, {}}},
        {"code notification",
         R"({"type":"presentCodeNotification","codeNotification":{"code":"123456",)"
         R"("destinationHost":"shop.example","source":"Mail from Shop","providerLabel":"Gmail",)"
         R"("wasCopied":true}})",
         {"presentCodeNotification", {}, {}, {}, {}, codePayload}},
        {"link notification",
         R"({"type":"presentLinkNotification","linkNotification":{"url":"https://shop.example/l?t=1",)"
         R"("destinationHost":"shop.example","source":"Shop","accountEmail":"a@x",)"
         R"("providerLabel":"Gmail","linkPurpose":"sign-in"}})",
         {"presentLinkNotification", {}, {}, {}, linkPayload, {}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(decodeJson<NativeHostRequest>(row.json, frames), row.expected);
    }
}

TEST(NativeHostRequest, RefusesWrongShapes) {
    const std::vector<std::string> refused{
        R"({})",
        R"({"type":null})",
        R"({"type":5})",
        R"({"type":"poll","origin":1})",
        R"({"type":"poll","sinceEpochMilliseconds":"1700000000000"})",
        R"({"type":"poll","sinceEpochMilliseconds":1.5})",
        R"({"type":"poll","sinceEpochMilliseconds":9223372036854775808})",
        R"({"type":"poll","seenMessageIDs":"a"})",
        R"({"type":"poll","seenMessageIDs":["a",1]})",
        R"({"type":"presentCodeNotification","codeNotification":"123456"})",
        R"({"type":"presentCodeNotification","codeNotification":{"code":"1","destinationHost":"h",)"
        R"("source":"s","providerLabel":"p"}})",
        R"({"type":"presentLinkNotification","linkNotification":{"url":"u","destinationHost":"h",)"
        R"("source":"s","providerLabel":"p"}})",
        R"([{"type":"status"}])",
        R"({"type":"status"} {"type":"status"})",
        "{\"type\":\"st\xff\"}",
    };
    for (const auto& json : refused) {
        SCOPED_TRACE(json);
        EXPECT_THROW(decodeJson<NativeHostRequest>(json, frames), JsonDecodingError);
    }
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
        {"no origin", R"({"type":"poll","sinceEpochMilliseconds":5})", std::nullopt},
        {"other case", R"({"type":"Poll","origin":"https://a","sinceEpochMilliseconds":5})",
         std::nullopt},
        {"status", R"({"type":"status","origin":"https://a","sinceEpochMilliseconds":5})",
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

TEST(NativeHostRequest, PresentsNativeUIOnlyForTheTwoNotificationTypes) {
    const std::vector<std::pair<std::string, bool>> rows{
        {"presentLinkNotification", true},  {"presentCodeNotification", true},   {"status", false},
        {"PresentCodeNotification", false}, {"presentCodeNotification ", false},
    };
    for (const auto& [type, expected] : rows) {
        SCOPED_TRACE(type);
        EXPECT_EQ(NativeHostRequest(type, {}, {}, {}, {}, {}).presentsNativeUI(), expected);
    }
}

TEST(WatchRequest, SinceIsTheMillisecondsAfter1970) {
    const WatchRequest request("poll", "o", 1'700'000'000'123, {});
    EXPECT_EQ(request.since(), Timestamp{1'700'000'000s + 123ms});
    EXPECT_EQ(WatchRequest("poll", "o", -1, {}).since(), Timestamp{-1ms});
    EXPECT_EQ(WatchRequest("poll", "o", INT64_MAX, {}).since(), Timestamp::max());
    EXPECT_EQ(WatchRequest("poll", "o", INT64_MIN, {}).since(), Timestamp::min());
}

TEST(NativeHostResponse, WritesEveryArrayAndOmitsAnAbsentError) {
    EXPECT_EQ(encodeJson(NativeHostResponse{true, {}, {}, {}, {}, {}}, frames),
              R"({"ok":true,"messages":[],"accounts":[],"warnings":[],"accountChecks":[]})");
    EXPECT_EQ(
        encodeJson(NativeHostResponse{false, {}, {}, {}, {}, "Authentication failed."}, frames),
        R"({"ok":false,"messages":[],"accounts":[],"warnings":[],"accountChecks":[],)"
        R"("error":"Authentication failed."})");

    const NativeHostResponse full{true,
                                  {MailMessage{"g:1", "g", MailProvider::google, "a@x", "s", false,
                                               "", "t", "", Timestamp{1'500ms}}},
                                  {ConnectedAccount{"g", MailProvider::google, "a@x", {}}},
                                  {"Gmail is slow."},
                                  {AccountCheck{"g", AccountCheck::Status::ready, {}, {}}},
                                  {}};
    const auto text = encodeJson(full, frames);
    EXPECT_EQ(
        text,
        R"({"ok":true,"messages":[{"id":"g:1","accountID":"g","provider":"google",)"
        R"("accountEmail":"a@x","sender":"s","senderAuthenticated":false,"subject":"",)"
        R"("text":"t","html":"","receivedAt":1500}],)"
        R"("accounts":[{"id":"g","provider":"google","email":"a@x"}],)"
        R"("warnings":["Gmail is slow."],"accountChecks":[{"accountID":"g","status":"ready"}]})");
    EXPECT_EQ(decodeJson<NativeHostResponse>(text, frames), full);
}

}  // namespace
}  // namespace loftwing
