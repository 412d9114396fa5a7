#pragma once

#include "records/NativeMessages.h"

#include <optional>

namespace zevirudi {

// The symbol the panel module exports: shows the link notification, then the code notification
// (either may be null), each until it is dismissed, and returns the exit status.
using ShowNotificationsFunction = int (*)(const loftwing::LinkNotificationPayload* link,
                                          const loftwing::CodeNotificationPayload* code);
inline constexpr const char* showNotificationsSymbol = "zevirudi_show_notifications";

// Shows accepted notifications in a process of its own session, detached from the host: the
// browser closes the host's pipes after the reply and kills the host soon after, which must not
// take the panel with it. Returns at once; does nothing when there is no display to show on.
void launchNotificationPanels(const std::optional<loftwing::LinkNotificationPayload>& link,
                              const std::optional<loftwing::CodeNotificationPayload>& code);

}  // namespace zevirudi
