// The panel module: loaded with dlopen in the panel's own process only, so that the native host
// never loads the toolkit.

#include "notch/module/NotificationModule.h"

#include "notch/NotificationRunner.h"
#include "support/LogSink.h"

#include <vector>

extern "C" __attribute__((visibility("default"))) int zevirudi_show_notifications(
    const loftwing::LinkNotificationPayload* link, const loftwing::CodeNotificationPayload* code) {
    try {
        std::vector<zevirudi::NotchNotification> notifications;
        if (link) {
            notifications.emplace_back(*link);
        }
        if (code) {
            notifications.emplace_back(*code);
        }
        return zevirudi::showNotifications(notifications);
    } catch (...) {
        loftwing::logMessage(loftwing::LogLevel::error, "panel",
                             "the panel stopped on an unexpected error");
    }
    return 1;
}

// The module and the host must agree on the symbol's type.
static_assert(
    std::is_same_v<decltype(&zevirudi_show_notifications), zevirudi::ShowNotificationsFunction>);
