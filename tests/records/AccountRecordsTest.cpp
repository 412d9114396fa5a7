#include "records/AccountRecords.h"

#include "records/Errors.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace loftwing {
namespace {

using namespace std::chrono_literals;

const Timestamp november2023{std::chrono::seconds{1'700'000'000}};

TEST(MailProvider, RawValuesDisplayNamesAndOrder) {
    struct Row {
        std::string raw;
        std::optional<MailProvider> provider;
    };
    const std::vector<Row> rows{
        {"google", MailProvider::google},
        {"microsoft", MailProvider::microsoft},
        {"Google", std::nullopt},
        {"outlook", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.raw);
        EXPECT_EQ(mailProviderFromRawValue(row.raw), row.provider);
    }
    EXPECT_EQ(displayName(MailProvider::google), "Gmail");
    EXPECT_EQ(displayName(MailProvider::microsoft), "Outlook or Hotmail");
}

TEST(ConnectedAccount, EncodesOnlyTheKeysItHolds) {
    const ConnectedAccount bare{"google:1", MailProvider::google, "a@example.com", std::nullopt};
    EXPECT_EQ(encodeJson(bare, DateEncoding::millisecondsSince1970),
              R"({"id":"google:1","provider":"google","email":"a@example.com"})");
    const ConnectedAccount named{"ms:2", MailProvider::microsoft, "b@example.com", "Bé Ñame"};
    EXPECT_EQ(
        encodeJson(named, DateEncoding::iso8601),
        R"({"id":"ms:2","provider":"microsoft","email":"b@example.com","displayName":"Bé Ñame"})");
}

TEST(ConnectedAccount, DecodesAbsentNullAndUnknownKeys) {
    const ConnectedAccount expected{"g", MailProvider::google, "a@x", std::nullopt};
    const std::vector<std::string> equivalent{
        R"({"id":"g","provider":"google","email":"a@x"})",
        R"({"id":"g","provider":"google","email":"a@x","displayName":null})",
        R"({"email":"a@x","extra":{"nested":[1,2]},"provider":"google","id":"g"})",
    };
    for (const auto& text : equivalent) {
        SCOPED_TRACE(text);
        EXPECT_EQ(decodeJson<ConnectedAccount>(text, DateEncoding::millisecondsSince1970),
                  expected);
    }
    EXPECT_EQ(decodeJson<ConnectedAccount>(
                  R"({"id":"g","provider":"microsoft","email":"","displayName":""})",
                  DateEncoding::iso8601),
              (ConnectedAccount{"g", MailProvider::microsoft, "", ""}));
}

TEST(ConnectedAccount, RefusesMissingKeysWrongTypesAndUnknownProviders) {
    const std::vector<std::string> refused{
        R"({"provider":"google","email":"a@x"})",
        R"({"id":"g","email":"a@x"})",
        R"({"id":"g","provider":"google"})",
        R"({"id":"g","provider":"outlook","email":"a@x"})",
        R"({"id":"g","provider":0,"email":"a@x"})",
        R"({"id":null,"provider":"google","email":"a@x"})",
        R"({"id":"g","provider":"google","email":"a@x","displayName":5})",
        R"(["g","google","a@x"])",
        R"({"id":"g","provider":"google","email":"a@x")",
    };
    for (const auto& text : refused) {
        SCOPED_TRACE(text);
        EXPECT_THROW(decodeJson<ConnectedAccount>(text, DateEncoding::millisecondsSince1970),
                     JsonDecodingError);
    }
}

TEST(OAuthTokenSet, EncodesDatesAsTheCarrierAsks) {
    const OAuthTokenSet bare{"at", std::nullopt, november2023 + 123ms, std::nullopt};
    EXPECT_EQ(encodeJson(bare, DateEncoding::millisecondsSince1970),
              R"({"accessToken":"at","expiresAt":1700000000123})");
    // The keyring form keeps whole seconds only.
    EXPECT_EQ(encodeJson(bare, DateEncoding::iso8601),
              R"({"accessToken":"at","expiresAt":"2023-11-14T22:13:20Z"})");
}

TEST(OAuthTokenSet, RoundTripsInBothEncodings) {
    struct Row {
        const char* name;
        OAuthTokenSet tokens;
        DateEncoding dates;
    };
    const std::vector<Row> rows{
        {"whole seconds, keyring", {"a", "r", november2023, "s"}, DateEncoding::iso8601},
        {"before 1970, keyring", {"a", {}, Timestamp{-86'401s}, {}}, DateEncoding::iso8601},
        {"milliseconds", {"a", {}, november2023 + 123ms, {}}, DateEncoding::millisecondsSince1970},
        {"half a millisecond",
         {"a", "r", november2023 + 123ms + 500us, {}},
         DateEncoding::millisecondsSince1970},
        {"before 1970, frames",
         {"a", {}, Timestamp{-1'500ms}, {}},
         DateEncoding::millisecondsSince1970},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto text = encodeJson(row.tokens, row.dates);
        EXPECT_EQ(decodeJson<OAuthTokenSet>(text, row.dates), row.tokens) << text;
    }
}

TEST(OAuthTokenSet, DateRefusals) {
    struct Row {
        std::string json;
        DateEncoding dates;
    };
    const std::vector<Row> rows{
        // Fractional seconds are not the keyring's form.
        {R"({"accessToken":"a","expiresAt":"2023-11-14T22:13:20.5Z"})", DateEncoding::iso8601},
        {R"({"accessToken":"a","expiresAt":1700000000})", DateEncoding::iso8601},
        // Beyond the clock's range.
        {R"({"accessToken":"a","expiresAt":"9999-12-31T23:59:59Z"})", DateEncoding::iso8601},
        {R"({"accessToken":"a"})", DateEncoding::iso8601},
        {R"({"expiresAt":"2023-11-14T22:13:20Z"})", DateEncoding::iso8601},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.json);
        EXPECT_THROW(decodeJson<OAuthTokenSet>(row.json, row.dates), JsonDecodingError);
    }
    EXPECT_EQ(
        decodeJson<OAuthTokenSet>(R"({"accessToken":"a","expiresAt":"2023-11-14T23:13:20+01:00"})",
                                  DateEncoding::iso8601)
            .expiresAt,
        november2023);
}

TEST(OAuthTokenSet, NeedsRefreshWithinTheLeeway) {
    struct Row {
        std::chrono::nanoseconds expiresIn;
        double leeway;
        bool expected;
    };
    const std::vector<Row> rows{
        {60s, 60, true}, {61s, 60, false}, {-5s, 0, true}, {1ns, 0, false}, {59'999ms, 60, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.expiresIn.count()) + "ns, leeway " +
                     std::to_string(row.leeway));
        const OAuthTokenSet tokens{"a", {}, november2023 + row.expiresIn, {}};
        EXPECT_EQ(tokens.needsRefresh(november2023, row.leeway), row.expected);
    }
}

TEST(StoredAccount, KeyringRecordRoundTripsAndNeedsItsTokens) {
    const StoredAccount stored{{"google:1", MailProvider::google, "a@x", std::nullopt},
                               {"at", "rt", november2023, std::nullopt}};
    // The exact keyring form is pinned by the account store's test.
    EXPECT_EQ(
        decodeJson<StoredAccount>(encodeJson(stored, DateEncoding::iso8601), DateEncoding::iso8601),
        stored);
    EXPECT_THROW(
        decodeJson<StoredAccount>(R"({"account":{"id":"g","provider":"google","email":"a"}})",
                                  DateEncoding::iso8601),
        JsonDecodingError);
}

}  // namespace
}  // namespace loftwing
