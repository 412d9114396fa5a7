#include "mail/MessageNormalization.h"

#include "mail/ProviderMessages.h"
#include "support/Base64.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace loftwing {
namespace {

using namespace std::chrono_literals;

StoredAccount account() {
    return StoredAccount{ConnectedAccount{"acct-1", MailProvider::google, "ana@example.com", {}},
                         OAuthTokenSet{"token", {}, Timestamp{}, {}}};
}

const Timestamp now = Timestamp{} + 1'800'000'000s;

std::string b64(std::string_view text) {
    return base64URLEncodeNoPadding(text);
}

TEST(MessageNormalization, GmailEdgeCases) {
    struct Row {
        const char* name;
        GmailMessage message;
        std::optional<std::string> sender;  // nothing: the message is dropped
        std::string text;
        std::string html;
        bool authenticated;
        Timestamp receivedAt;
    };
    const Row rows[] = {
        {"single text/plain part",
         GmailMessage{"m", "999", GmailPayload{"text/plain", {}, GmailBody{b64("hi")}, {}}},
         "Unknown sender", "hi", "", false, Timestamp{} + 999ms},
        {"no payload", GmailMessage{"m", "1", std::nullopt}, std::nullopt, "", "", false, now},
        {"non-numeric date gives now", GmailMessage{"m", "12abc", GmailPayload{{}, {}, {}, {}}},
         "Unknown sender", "", "", false, now},
        {"fractional and exponent dates parse", GmailMessage{"m", "1.5e3", GmailPayload{}},
         "Unknown sender", "", "", false, Timestamp{} + 1500ms},
        {"infinity gives now", GmailMessage{"m", "inf", GmailPayload{}}, "Unknown sender", "", "",
         false, now},
        {"first authentication header counts, not the second",
         GmailMessage{"m", "1",
                      GmailPayload{{},
                                   {{{"authentication-results", "mx; spf=fail"},
                                     {"Authentication-Results", "mx; dmarc=pass"}}},
                                   {},
                                   {}}},
         "Unknown sender", "", "", false, Timestamp{} + 1ms},
        {"text/html with a charset parameter is ignored",
         GmailMessage{"m", "1",
                      GmailPayload{"text/html; charset=UTF-8", {}, GmailBody{b64("<p>x</p>")}, {}}},
         "Unknown sender", "", "", false, Timestamp{} + 1ms},
        {"undecodable part is skipped, its sibling kept",
         GmailMessage{"m", "1",
                      GmailPayload{"multipart/alternative",
                                   {},
                                   {},
                                   {{GmailPayload{"text/plain", {}, GmailBody{"aGk\naGk"}, {}},
                                     GmailPayload{"text/plain", {}, GmailBody{"/w"}, {}},
                                     GmailPayload{"text/plain", {}, GmailBody{b64("ok")}, {}}}}}},
         "Unknown sender", "\nok", "", false, Timestamp{} + 1ms},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto message = normalizeGmailMessage(row.message, account(), now);
        ASSERT_EQ(message.has_value(), row.sender.has_value());
        if (!message) {
            continue;
        }
        EXPECT_EQ(message->sender, *row.sender);
        EXPECT_EQ(message->text, row.text);
        EXPECT_EQ(message->html, row.html);
        EXPECT_EQ(message->senderAuthenticated, row.authenticated);
        EXPECT_EQ(message->receivedAt, row.receivedAt);
    }
}

TEST(MessageNormalization, ExtractBodiesPutsALineFeedBeforeEveryNonEmptyPart) {
    auto part = [](const char* type, const char* body) {
        return GmailPayload{type, {}, GmailBody{b64(body)}, {}};
    };
    auto container = [](std::vector<GmailPayload> parts) {
        return GmailPayload{"multipart/mixed", {}, {}, std::move(parts)};
    };
    struct Row {
        const char* name;
        GmailPayload root;
        ExtractedBodies expected;
    };
    const Row rows[] = {
        {"own body first, then parts",
         GmailPayload{"text/plain", {}, GmailBody{b64("r")}, {{part("text/plain", "p")}}},
         {"r\np", ""}},
        {"alternative",
         container({part("text/plain", "t"), part("text/html", "<b>h</b>")}),
         {"\nt", "\n<b>h</b>"}},
        {"sibling after a nested part",
         container({container({part("text/plain", "x")}), part("text/plain", "y")}),
         {"\n\nx\ny", ""}},
        {"empty parts add nothing",
         container({container({}), part("text/plain", ""), part("image/png", "x"),
                    part("text/plain", "z")}),
         {"\nz", ""}},
        {"html and text opened separately",
         container({container({part("text/html", "h")}), container({part("text/plain", "t")})}),
         {"\n\nt", "\n\nh"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(extractBodies(row.root.mimeType,
                                row.root.body ? row.root.body->data : std::nullopt, row.root.parts),
                  row.expected);
    }
}

TEST(MessageNormalization, DecodeBase64URL) {
    struct Row {
        const char* text;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"aGk", "hi"},              // 3 mod 4: one "=" appended
        {"aA", "h"},                // 2 mod 4: two "=" appended
        {"aGk=", "hi"},             // padding already there
        {"-_8", std::nullopt},      // decodes to FB FF, which is not UTF-8
        {"aGk\nbw", std::nullopt},  // a line break
        {"a", std::nullopt},        // 1 mod 4
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(decodeBase64URL(row.text), row.expected);
    }
}

TEST(MessageNormalization, SenderAuthentication) {
    struct Row {
        const char* text;
        bool expected;
    };
    const Row rows[] = {
        {"mx.example.com; spf=pass smtp.mailfrom=a.example; dkim=fail header.d=a.example", false},
        {"MX.EXAMPLE.COM; SPF=PASS; DKIM=PASS", true},
        {"mx.example.com; dmarc=pass (p=none) header.from=a.example", true},
        {"mx.example.com; dkim=pass header.i=@a.example", false},
        {"mx.example.com; dmarc=passed", true},  // plain substring search
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(isSenderAuthenticated(row.text), row.expected);
    }
}

// The full message is the monitor's sandbox test; here what a sparse or broken one reads as.
TEST(MessageNormalization, GraphMessageDefaults) {
    const GraphMessage bare{"id", "2026-12-06T18:27:37Z", {}, {}, {}, {}, {}};
    const auto minimal = normalizeGraphMessage(bare, account());
    ASSERT_TRUE(minimal);
    EXPECT_EQ(minimal->sender, "Unknown sender");
    EXPECT_EQ(minimal->subject, "");
    EXPECT_EQ(minimal->text, "");
    EXPECT_EQ(minimal->html, "");
    EXPECT_FALSE(minimal->senderAuthenticated);

    GraphMessage spaced = bare;
    spaced.receivedDateTime = "2026-12-06 18:27:37Z";
    EXPECT_FALSE(normalizeGraphMessage(spaced, account()));
}

}  // namespace
}  // namespace loftwing
