#include "notch/NotchNotificationText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zevirudi {
namespace {

loftwing::CodeNotificationPayload codePayload(std::string code, bool wasCopied = false,
                                              std::optional<std::string> email = std::nullopt) {
    return {.code = std::move(code),
            .destinationHost = "accounts.example.com",
            .source = "Example Security",
            .accountEmail = std::move(email),
            .providerLabel = "Gmail",
            .wasCopied = wasCopied};
}

loftwing::LinkNotificationPayload linkPayload(std::string purpose,
                                              std::optional<std::string> email = std::nullopt) {
    return {.url = "https://shop.example.org/magic?t=1",
            .destinationHost = "shop.example.org",
            .source = "Shop",
            .accountEmail = std::move(email),
            .providerLabel = "Outlook",
            .linkPurpose = std::move(purpose)};
}

TEST(NotchNotificationText, TitleSubtitleAndLabelFollowTheNotification) {
    struct Row {
        const char* name;
        NotchNotification notification;
        std::string title;
        std::string subtitle;
        std::string label;
    };
    const Row rows[] = {
        {"code, not copied", codePayload("482913"), "Verification code for accounts.example.com",
         "No code field found \u00B7 From Example Security", "Copy Code"},
        {"code, copied, with account", codePayload("482913", true, "me@example.com"),
         "Verification code for accounts.example.com",
         "No code field found \u00B7 From Example Security \u00B7 me@example.com", "Copy Again"},
        {"sign-in link", linkPayload("sign-in"), "Sign in to shop.example.org", "From Shop",
         "Open Checked Link"},
        {"password reset link", linkPayload("password-reset", "me@example.com"),
         "Reset password for shop.example.org", "From Shop \u00B7 me@example.com",
         "Open Reset Link"},
        {"email confirmation link", linkPayload("email-confirmation", ""),
         "Confirm email for shop.example.org", "From Shop", "Open Confirmation"},
        {"purpose in other case", linkPayload("Password-Reset"), "Sign in to shop.example.org",
         "From Shop", "Open Checked Link"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(notificationTitle(row.notification), row.title);
        EXPECT_EQ(notificationSubtitle(row.notification), row.subtitle);
        EXPECT_EQ(actionLabel(row.notification), row.label);
    }
}

TEST(NotchNotificationText, CodesOfSixAndEightCharactersAreSplitInHalves) {
    struct Row {
        const char* code;
        const char* shown;
    };
    const Row rows[] = {
        {"482913", "482 913"},
        {"12345678", "1234 5678"},
        {"1234567", "1234567"},
        // Counted in user-perceived characters, not bytes: six characters, nine bytes.
        {"\u00C512\u00C534", "\u00C512 \u00C534"},
        // An e with a combining acute accent is one character.
        {"e\u0301bcdef", "e\u0301bc def"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(formattedCode(row.code), row.shown);
    }
}

}  // namespace
}  // namespace zevirudi
