#pragma once

#include "records/NativeMessages.h"
#include "support/Time.h"

#include <optional>
#include <string_view>

namespace loftwing {
class AccountStore;
class MailboxMonitor;
}  // namespace loftwing

namespace zevirudi {

// The origin the health check polls with; the desktop application's mail check uses it too.
inline constexpr std::string_view healthCheckOrigin = "https://health-check.zevirudi.invalid";

struct HandledRequest {
    loftwing::NativeHostResponse response;
    std::optional<loftwing::LinkNotificationPayload> linkNotification;  // accepted link only
    std::optional<loftwing::CodeNotificationPayload> codeNotification;  // accepted code only
};

// Answers the request types that read neither the keyring nor the network (the notifications
// and every unknown type); nothing for "status", "health" and "poll". Never throws.
std::optional<HandledRequest> handleWithoutServices(const loftwing::NativeHostRequest& request);

// Answers one request of the extension by its type. Never throws: every failure is a response.
HandledRequest handleNativeRequest(const loftwing::NativeHostRequest& request,
                                   loftwing::AccountStore& accountStore,
                                   loftwing::MailboxMonitor& monitor,
                                   loftwing::Timestamp now = loftwing::currentTime());

}  // namespace zevirudi
