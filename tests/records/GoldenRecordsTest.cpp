// One table of records beside the exact JSON the product writes or reads for them. A row encodes
// the record and compares the text, decodes the text and compares the record, or both, depending
// on which way the product uses that record: keyring items both ways, answers to Chrome written
// only, requests from Chrome read only.
#include "records/AccountRecords.h"
#include "records/Errors.h"
#include "records/MailRecords.h"
#include "records/NativeMessages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace loftwing {
namespace {

using namespace std::chrono_literals;

constexpr auto keyring = DateEncoding::iso8601;
constexpr auto frames = DateEncoding::millisecondsSince1970;
const Timestamp november2023{1'700'000'000s};

enum class Direction { both, written, read };

template <Direction direction = Direction::both, typename Record>
std::function<void()> golden(Record record, DateEncoding dates, std::string json) {
    return [=] {
        if constexpr (direction != Direction::read) {
            EXPECT_EQ(encodeJson(record, dates), json);
        }
        if constexpr (direction != Direction::written) {
            EXPECT_EQ(decodeJson<Record>(json, dates), record);
        }
    };
}

template <typename Record>
std::function<void()> refused(DateEncoding dates, std::string json) {
    return [=] { EXPECT_THROW(decodeJson<Record>(json, dates), JsonDecodingError); };
}

const CodeNotificationPayload codePayload{"123456",     "shop.example", "Mail from Shop",
                                          std::nullopt, "Gmail",        true};
const LinkNotificationPayload linkPayload{
    "https://shop.example/l?t=1", "shop.example", "Shop", "a@x", "Gmail", "sign-in"};
const MailMessage message{"google:1:m1",        "google:1",
                          MailProvider::google, "a@x",
                          "Shop <no@shop>",     true,
                          "Your code",          "Code 123456",
                          "<p>Code</p>",        Timestamp{1'700'000'000'123ms}};
constexpr auto written = Direction::written;
constexpr auto read = Direction::read;

TEST(Records, GoldenForms) {
    const std::vector<std::pair<const char*, std::function<void()>>> rows{
        {"keyring account, every key",
         golden(StoredAccount{{"ms:2", MailProvider::microsoft, "b@example.com", "Bé Ñame"},
                              {"at", "rt", november2023, "s"}},
                keyring,
                R"({"account":{"id":"ms:2","provider":"microsoft","email":"b@example.com",)"
                R"("displayName":"Bé Ñame"},"tokens":{"accessToken":"at","refreshToken":"rt",)"
                R"("expiresAt":"2023-11-14T22:13:20Z","scope":"s"}})")},
        {"keyring date with an offset",
         golden<read>(OAuthTokenSet{"a", {}, november2023, {}}, keyring,
                      R"({"accessToken":"a","expiresAt":"2023-11-14T23:13:20+01:00"})")},
        {"account without a name",
         golden(ConnectedAccount{"google:1", MailProvider::google, "a@example.com", {}}, frames,
                R"({"id":"google:1","provider":"google","email":"a@example.com"})")},
        {"account with null and unknown keys",
         golden<read>(ConnectedAccount{"g", MailProvider::google, "a@x", {}}, keyring,
                      R"({"email":"a@x","displayName":null,"x":{"y":[1]},"provider":"google",)"
                      R"("id":"g"})")},
        {"failed account check",
         golden<written>(AccountCheck{"m", AccountCheck::Status::reconnectRequired,
                                      "Connect again.", "reconnect_required"},
                         frames,
                         R"({"accountID":"m","status":"reconnectRequired",)"
                         R"("message":"Connect again.","failureCode":"reconnect_required"})")},
        {"refusal", golden<written>(
                        NativeHostResponse{false, {}, {}, {}, {}, "Authentication failed."}, frames,
                        R"({"ok":false,"messages":[],"accounts":[],"warnings":[],)"
                        R"("accountChecks":[],"error":"Authentication failed."})")},
        {"answer with every array",
         golden<written>(
             NativeHostResponse{true,
                                {message},
                                {ConnectedAccount{"g", MailProvider::google, "a@x", {}}},
                                {"Gmail is slow."},
                                {AccountCheck{"g", AccountCheck::Status::ready, {}, {}}},
                                {}},
             frames,
             R"({"ok":true,"messages":[{"id":"google:1:m1","accountID":"google:1",)"
             R"("provider":"google","accountEmail":"a@x","sender":"Shop <no@shop>",)"
             R"("senderAuthenticated":true,"subject":"Your code","text":"Code 123456",)"
             R"("html":"<p>Code</p>","receivedAt":1700000000123}],)"
             R"("accounts":[{"id":"g","provider":"google","email":"a@x"}],)"
             R"("warnings":["Gmail is slow."],)"
             R"("accountChecks":[{"accountID":"g","status":"ready"}]})")},
        {"request with nulls",
         golden<read>(NativeHostRequest{"health", {}, {}, {}, {}, {}}, frames,
                      R"({"type":"health","origin":null,"sinceEpochMilliseconds":null,)"
                      R"("seenMessageIDs":null,"linkNotification":null,"codeNotification":null})")},
        {"poll, unknown key",
         golden<read>(NativeHostRequest{"poll",
                                        "https://shop.example",
                                        1'700'000'000'123,
                                        std::vector<std::string>{"a", "b"},
                                        {},
                                        {}},
                      frames,
                      R"({"type":"poll","origin":"https://shop.example",)"
                      R"("sinceEpochMilliseconds":1700000000123,"seenMessageIDs":["a","b"],)"
                      R"("tabId":7})")},
        {"start written as a double",
         golden<read>(NativeHostRequest{"poll", {}, 1'700'000'000'000, {}, {}, {}}, frames,
                      R"({"type":"poll","sinceEpochMilliseconds":1.7E12})")},
        {"code notification",
         golden<read>(NativeHostRequest{"presentCodeNotification", {}, {}, {}, {}, codePayload},
                      frames,
                      R"({"type":"presentCodeNotification","codeNotification":{"code":"123456",)"
                      R"("destinationHost":"shop.example","source":"Mail from Shop",)"
                      R"("providerLabel":"Gmail","wasCopied":true}})")},
        {"link notification",
         golden<read>(NativeHostRequest{"presentLinkNotification", {}, {}, {}, linkPayload, {}},
                      frames,
                      R"({"type":"presentLinkNotification","linkNotification":{)"
                      R"("url":"https://shop.example/l?t=1","destinationHost":"shop.example",)"
                      R"("source":"Shop","accountEmail":"a@x","providerLabel":"Gmail",)"
                      R"("linkPurpose":"sign-in"}})")},
    };
    for (const auto& [name, check] : rows) {
        SCOPED_TRACE(name);
        check();
    }
}

TEST(Records, RefusedForms) {
    const std::vector<std::function<void()>> rows{
        refused<ConnectedAccount>(keyring, R"({"provider":"google","email":"a@x"})"),
        refused<ConnectedAccount>(keyring, R"({"id":"g","provider":"Google","email":"a@x"})"),
        refused<ConnectedAccount>(keyring,
                                  R"({"id":"g","provider":"google","email":"a","displayName":5})"),
        refused<ConnectedAccount>(keyring, R"(["g","google","a@x"])"),
        // Fractional seconds and numbers are not the keyring's date form.
        refused<OAuthTokenSet>(keyring,
                               R"({"accessToken":"a","expiresAt":"2023-11-14T22:13:20.5Z"})"),
        refused<OAuthTokenSet>(keyring, R"({"accessToken":"a","expiresAt":1700000000})"),
        // Beyond the clock's range.
        refused<OAuthTokenSet>(keyring,
                               R"({"accessToken":"a","expiresAt":"9999-12-31T23:59:59Z"})"),
        refused<NativeHostRequest>(frames, R"({})"),
        refused<NativeHostRequest>(frames, R"({"type":5})"),
        refused<NativeHostRequest>(frames, R"({"type":"poll","origin":1})"),
        refused<NativeHostRequest>(frames, R"({"type":"poll","sinceEpochMilliseconds":1.5})"),
        refused<NativeHostRequest>(
            frames, R"({"type":"poll","sinceEpochMilliseconds":9223372036854775808})"),
        refused<NativeHostRequest>(frames, R"({"type":"poll","seenMessageIDs":["a",1]})"),
        refused<NativeHostRequest>(
            frames, R"({"type":"presentCodeNotification","codeNotification":{"code":"1",)"
                    R"("destinationHost":"h","source":"s","providerLabel":"p"}})"),
        refused<NativeHostRequest>(
            frames, R"({"type":"presentLinkNotification","linkNotification":{"url":"u",)"
                    R"("destinationHost":"h","source":"s","providerLabel":"p"}})"),
        refused<NativeHostRequest>(frames, R"([{"type":"status"}])"),
        refused<NativeHostRequest>(frames, R"({"type":"status"} {"type":"status"})"),
        refused<NativeHostRequest>(frames, "{\"type\":\"st\xff\"}"),
    };
    for (std::size_t row = 0; row < rows.size(); ++row) {
        SCOPED_TRACE(row);
        rows[row]();
    }
}

}  // namespace
}  // namespace loftwing
