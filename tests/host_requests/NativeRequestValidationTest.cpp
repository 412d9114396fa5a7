#include "host/NativeRequestValidation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zevirudi {
namespace {

using loftwing::CodeNotificationPayload;
using loftwing::LinkNotificationPayload;

TEST(PageOrigin, AcceptsSchemeHostAndPortOnly) {
    struct Row {
        const char* origin;
        bool valid;
    };
    const std::vector<Row> rows{
        {"https://example.com", true},
        {"http://localhost:8080", true},
        {"https://example.com/", false},
        {"https://example.com?", false},
        {"https://example.com#top", false},
        {"https://user@example.com", false},
        {"ftp://example.com", false},
        {"HTTPS://example.com", false},
        {"https://", false},
        {"https:example.com", false},
        {"https://exa mple.com", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.origin);
        EXPECT_EQ(isValidPageOrigin(row.origin), row.valid);
    }
}

std::string repeated(std::string_view piece, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += piece;
    }
    return text;
}

TEST(DisplayText, RemovesControlAndFormatCharactersThenCuts) {
    struct Row {
        std::string text;
        std::size_t limit;
        std::string expected;
    };
    // A megabyte of combining marks is one character: cut to 120 x 32 bytes, whole sequences.
    const std::string marks = repeated("\u0301", 500'000);
    const std::vector<Row> rows{
        {"Acme\nMail\t", 40, "AcmeMail"},
        {"a\u200Bb\u202Ec\u00ADd", 40, "abcd"},  // zero-width space, RTL override, soft hyphen
        {"  spaced  ", 40, "  spaced  "},
        {"abcdef", 3, "abc"},
        {"\U0001F469\u200D\U0001F4BBxyz", 3, "\U0001F469\U0001F4BBx"},  // ZWJ is Cf: removed first
        {"e\u0301e\u0301e\u0301", 2, "e\u0301e\u0301"},
        {"a" + marks, 120, "a" + repeated("\u0301", 1'919)},
        {repeated("\U0001F600", 130), 120, repeated("\U0001F600", 120)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text.substr(0, 40));
        EXPECT_EQ(sanitizedDisplayText(row.text, row.limit), row.expected);
    }
}

CodeNotificationPayload code(std::string value, std::string host = "example.com") {
    return CodeNotificationPayload{std::move(value), std::move(host), "Acme",
                                   "me@example.com", "Gmail",         false};
}

TEST(CodeNotification, CleansAndRefuses) {
    struct Row {
        const char* name;
        CodeNotificationPayload payload;
        std::optional<std::string> code;  // nothing: refused
        std::string host = "example.com";
    };
    const std::vector<Row> rows{
        {"digits", code("482913"), "482913"},
        {"lower-case letters are upper-cased", code("ab12cd"), "AB12CD"},
        {"hyphen", code("123-456"), std::nullopt},
        {"three characters", code("123"), std::nullopt},
        {"thirteen digits cut to ten", code("1234567890123"), "1234567890"},
        {"control characters removed", code("12\n34\u200B56"), "123456"},
        {"non-ASCII digit", code("12\u0663456"), std::nullopt},
        {"mixed-case host", code("123456", "Login.Example.COM"), "123456", "login.example.com"},
        {"host with slash", code("123456", "example.com/login"), std::nullopt},
        {"empty host", code("123456", ""), std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto cleaned = validatedCodeNotification(row.payload);
        ASSERT_EQ(cleaned.has_value(), row.code.has_value());
        if (cleaned) {
            EXPECT_EQ(cleaned->code, *row.code);
            EXPECT_EQ(cleaned->destinationHost, row.host);
        }
    }
    EXPECT_FALSE(validatedCodeNotification(std::nullopt));
}

TEST(CodeNotification, CleansTextFields) {
    auto payload = code("482913");
    payload.source = "\x01\x02";
    EXPECT_FALSE(validatedCodeNotification(payload)) << "a source of control characters only";

    payload = code("482913");
    payload.providerLabel = "";
    EXPECT_FALSE(validatedCodeNotification(payload));

    payload = code("482913");
    payload.accountEmail = "\u200B\n";
    payload.source = std::string(200, 's');
    payload.providerLabel = std::string(50, 'p');
    payload.wasCopied = true;
    const auto cleaned = validatedCodeNotification(payload);
    ASSERT_TRUE(cleaned);
    EXPECT_FALSE(cleaned->accountEmail) << "an e-mail of control characters becomes absent";
    EXPECT_EQ(cleaned->source, std::string(120, 's'));
    EXPECT_EQ(cleaned->providerLabel, std::string(40, 'p'));
    EXPECT_TRUE(cleaned->wasCopied);
}

LinkNotificationPayload link(std::string url, std::string host = "example.com",
                             std::string purpose = "sign-in") {
    return LinkNotificationPayload{std::move(url), std::move(host), "Acme",
                                   std::nullopt,   "Gmail",         std::move(purpose)};
}

TEST(LinkNotification, AcceptsOnlyHttpsLinksToTheDestination) {
    struct Row {
        const char* name;
        LinkNotificationPayload payload;
        bool accepted;
        std::string host = "example.com";
    };
    const std::vector<Row> rows{
        {"plain", link("https://example.com/verify?t=1"), true},
        {"upper-case scheme", link("HTTPS://example.com/verify"), true},
        {"host differs only in case", link("https://EXAMPLE.com/v", "Example.Com"), true},
        {"http", link("http://example.com/verify"), false},
        {"other host", link("https://evil.example/verify"), false},
        {"user info", link("https://user@example.com/verify"), false},
        {"not a URL", link("https://exa mple.com/"), false},
        {"no host", link("https:///path"), false},
        {"password reset", link("https://example.com/v", "example.com", "password-reset"), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto cleaned = validatedLinkNotification(row.payload);
        ASSERT_EQ(cleaned.has_value(), row.accepted);
        if (cleaned) {
            EXPECT_EQ(cleaned->url, row.payload.url);
            EXPECT_EQ(cleaned->destinationHost, row.host);
        }
    }
}

}  // namespace
}  // namespace zevirudi
