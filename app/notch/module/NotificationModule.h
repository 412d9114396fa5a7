#pragma once

// The panel module's whole interface, shared by the process that loads the module and the module
// itself: what it is called and the one function it exports. The module knows the notifications it
// shows and nothing of the requests they came from.

#include "records/NativeMessages.h"

namespace zevirudi {

// <prefix>/lib/zevirudi/ + this name.
inline constexpr const char* notificationModuleFileName = "libzevirudi-notch.so";

// Shows the link notification, then the code notification (either may be null), each until it is
// dismissed, and returns the process's exit status. Never throws.
using ShowNotificationsFunction = int (*)(const loftwing::LinkNotificationPayload* link,
                                          const loftwing::CodeNotificationPayload* code);
inline constexpr const char* showNotificationsSymbol = "zevirudi_show_notifications";

}  // namespace zevirudi
