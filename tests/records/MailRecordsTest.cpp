#include "records/MailRecords.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace loftwing {
namespace {

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

TEST(AccountCheck, GoldenStrings) {
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
}

}  // namespace
}  // namespace loftwing
