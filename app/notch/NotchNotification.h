#pragma once

#include "records/NativeMessages.h"

#include <variant>

namespace zevirudi {

// What one notification panel shows: a checked link (first alternative) or a code. The host wraps
// the cleaned payload of the request it accepted.
using NotchNotification =
    std::variant<loftwing::LinkNotificationPayload, loftwing::CodeNotificationPayload>;

inline bool isCodeNotification(const NotchNotification& notification) {
    return std::holds_alternative<loftwing::CodeNotificationPayload>(notification);
}

}  // namespace zevirudi
