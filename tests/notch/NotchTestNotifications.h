#pragma once

#include "notch/NotchNotification.h"

#include <string>

namespace loftwing::test {

inline zevirudi::NotchNotification codeNotification(std::string code = "482913") {
    return loftwing::CodeNotificationPayload{.code = std::move(code),
                                             .destinationHost = "accounts.example.com",
                                             .source = "Example Security",
                                             .accountEmail = "me@example.com",
                                             .providerLabel = "Gmail",
                                             .wasCopied = false};
}

inline zevirudi::NotchNotification linkNotification(
    std::string url = "https://shop.example.org/reset?t=1") {
    return loftwing::LinkNotificationPayload{.url = std::move(url),
                                             .destinationHost = "shop.example.org",
                                             .source = "Shop Support",
                                             .accountEmail = "me@outlook.com",
                                             .providerLabel = "Outlook",
                                             .linkPurpose = "password-reset"};
}

}  // namespace loftwing::test
