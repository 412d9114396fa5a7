#include "records/MailRecords.h"

#include "records/Errors.h"

#include <gtest/gtest.h>
#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <chrono>
#include <string>
#include <vector>

namespace loftwing {
namespace {

using namespace std::chrono_literals;

const Timestamp received{std::chrono::milliseconds{1'700'000'000'123}};

MailMessage sampleMessage() {
    return MailMessage{"google:1:m1",    "google:1", MailProvider::google, "a@x",
                       "Shop <no@shop>", true,       "Your code",          "Code 123456",
                       "<p>Code</p>",    received};
}

TEST(MailMessage, EncodesAllTenKeysWithMillisecondDates) {
    EXPECT_EQ(encodeJson(sampleMessage(), DateEncoding::millisecondsSince1970),
              R"({"id":"google:1:m1","accountID":"google:1","provider":"google",)"
              R"("accountEmail":"a@x","sender":"Shop <no@shop>","senderAuthenticated":true,)"
              R"("subject":"Your code","text":"Code 123456","html":"<p>Code</p>",)"
              R"("receivedAt":1700000000123})");
}

TEST(MailMessage, EveryKeyIsRequired) {
    const auto full =
        boost::json::parse(encodeJson(sampleMessage(), DateEncoding::millisecondsSince1970));
    for (const auto& entry : full.as_object()) {
        const std::string key(entry.key());
        SCOPED_TRACE(key);
        auto without = full.as_object();
        without.erase(entry.key());
        EXPECT_THROW(decodeJson<MailMessage>(boost::json::serialize(without),
                                             DateEncoding::millisecondsSince1970),
                     JsonDecodingError);
    }
}

TEST(MailMessage, DecodesEmptyStringsAndFractionalDates) {
    const auto decoded = decodeJson<MailMessage>(
        R"({"id":"","accountID":"","provider":"microsoft","accountEmail":"","sender":"",)"
        R"("senderAuthenticated":false,"subject":"","text":"","html":"",)"
        R"("receivedAt":1700000000123.5,"unknown":true})",
        DateEncoding::millisecondsSince1970);
    EXPECT_EQ(decoded, (MailMessage{"", "", MailProvider::microsoft, "", "", false, "", "", "",
                                    received + 500us}));
}

TEST(MailMessage, RefusesWrongTypes) {
    const std::vector<std::pair<std::string, std::string>> replacements{
        {"senderAuthenticated", R"("true")"},
        {"receivedAt", R"("2023-11-14T22:13:20Z")"},
        {"provider", R"("outlook")"},
        {"subject", "null"},
    };
    for (const auto& [key, replacement] : replacements) {
        SCOPED_TRACE(key + " = " + replacement);
        auto json =
            boost::json::parse(encodeJson(sampleMessage(), DateEncoding::millisecondsSince1970));
        json.as_object()[key] = boost::json::parse(replacement);
        EXPECT_THROW(decodeJson<MailMessage>(boost::json::serialize(json),
                                             DateEncoding::millisecondsSince1970),
                     JsonDecodingError);
    }
}

TEST(AccountCheck, StatusRawValues) {
    struct Row {
        std::string raw;
        std::optional<AccountCheck::Status> status;
    };
    const std::vector<Row> rows{
        {"ready", AccountCheck::Status::ready},
        {"reconnectRequired", AccountCheck::Status::reconnectRequired},
        {"unavailable", AccountCheck::Status::unavailable},
        {"Ready", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.raw);
        EXPECT_EQ(accountCheckStatusFromRawValue(row.raw), row.status);
        if (row.status) {
            EXPECT_EQ(rawValue(*row.status), row.raw);
        }
    }
}

TEST(AccountCheck, GoldenStringsAndRefusals) {
    EXPECT_EQ(encodeJson(AccountCheck{"g", AccountCheck::Status::ready, {}, {}},
                         DateEncoding::millisecondsSince1970),
              R"({"accountID":"g","status":"ready"})");
    const AccountCheck failed{"m", AccountCheck::Status::reconnectRequired, "Connect again.",
                              "reconnect_required"};
    const auto text = encodeJson(failed, DateEncoding::millisecondsSince1970);
    EXPECT_EQ(text, R"({"accountID":"m","status":"reconnectRequired","message":"Connect again.",)"
                    R"("failureCode":"reconnect_required"})");
    EXPECT_EQ(decodeJson<AccountCheck>(text, DateEncoding::millisecondsSince1970), failed);
    EXPECT_EQ(decodeJson<AccountCheck>(R"({"accountID":"g","status":"unavailable","message":null})",
                                       DateEncoding::millisecondsSince1970),
              (AccountCheck{"g", AccountCheck::Status::unavailable, {}, {}}));

    const std::vector<std::string> refused{
        R"({"accountID":"g","status":"Ready"})",
        R"({"accountID":"g","status":0})",
        R"({"accountID":"g"})",
        R"({"status":"ready"})",
        R"({"accountID":"g","status":"ready","failureCode":1})",
    };
    for (const auto& json : refused) {
        SCOPED_TRACE(json);
        EXPECT_THROW(decodeJson<AccountCheck>(json, DateEncoding::millisecondsSince1970),
                     JsonDecodingError);
    }
}

}  // namespace
}  // namespace loftwing
