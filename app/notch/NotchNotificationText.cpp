#include "notch/NotchNotificationText.h"

#include "support/Text.h"

#include <variant>

namespace zevirudi {
namespace {

constexpr std::string_view middleDotSeparator = " \u00B7 ";

template <class... Handlers>
struct Overloaded : Handlers... {
    using Handlers::operator()...;
};
template <class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

std::string withAccount(std::string text, const std::optional<std::string>& accountEmail) {
    if (accountEmail && !accountEmail->empty()) {
        text += middleDotSeparator;
        text += *accountEmail;
    }
    return text;
}

}  // namespace

std::string notificationTitle(const NotchNotification& notification) {
    return std::visit(Overloaded{
                          [](const loftwing::CodeNotificationPayload& code) {
                              return "Verification code for " + code.destinationHost;
                          },
                          [](const loftwing::LinkNotificationPayload& link) {
                              if (link.linkPurpose == "password-reset") {
                                  return "Reset password for " + link.destinationHost;
                              }
                              if (link.linkPurpose == "email-confirmation") {
                                  return "Confirm email for " + link.destinationHost;
                              }
                              return "Sign in to " + link.destinationHost;
                          },
                      },
                      notification);
}

std::string notificationSubtitle(const NotchNotification& notification) {
    return std::visit(
        Overloaded{
            [](const loftwing::CodeNotificationPayload& code) {
                return withAccount(
                    "No code field found" + std::string(middleDotSeparator) + "From " + code.source,
                    code.accountEmail);
            },
            [](const loftwing::LinkNotificationPayload& link) {
                return withAccount("From " + link.source, link.accountEmail);
            },
        },
        notification);
}

std::string actionLabel(const NotchNotification& notification) {
    return std::visit(Overloaded{
                          [](const loftwing::CodeNotificationPayload& code) -> std::string {
                              return code.wasCopied ? "Copy Again" : "Copy Code";
                          },
                          [](const loftwing::LinkNotificationPayload& link) -> std::string {
                              if (link.linkPurpose == "password-reset") {
                                  return "Open Reset Link";
                              }
                              if (link.linkPurpose == "email-confirmation") {
                                  return "Open Confirmation";
                              }
                              return "Open Checked Link";
                          },
                      },
                      notification);
}

std::string formattedCode(std::string_view code) {
    const std::size_t count = loftwing::characterCount(code);
    if (count != 6 && count != 8) {
        return std::string(code);
    }
    const std::string head = loftwing::prefixCharacters(code, count / 2);
    return head + " " + std::string(code.substr(head.size()));
}

}  // namespace zevirudi
