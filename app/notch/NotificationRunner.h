#pragma once

#include "notch/NotchNotification.h"
#include "notch/NotchTimings.h"

#include <chrono>
#include <functional>
#include <vector>

namespace zevirudi {

class NotchPanelController;

struct NotificationRunnerOptions {
    NotchTimings timings;
    // How long a code copied from the panel is still served to other programs after the panel
    // is gone, unless another program takes the clipboard first.
    std::chrono::milliseconds clipboardHoldLimit{std::chrono::minutes(10)};
    // Called right after each panel was presented (tests drive the panel from here).
    std::function<void(NotchPanelController&)> onPresented;
    // Called once the last panel is gone, before the clipboard is served on.
    std::function<void()> onPanelsGone;
};

// Shows the notifications one after the other in this process, then keeps a code it copied
// available on the clipboard (see NotificationRunnerOptions). Creates and destroys the process's
// Qt application, so it must be called once, on the main thread, with none existing. Without a
// usable display (no DISPLAY nor WAYLAND_DISPLAY, or a display that cannot be reached) it shows
// nothing (and logs why). The platform is chosen here: QT_QPA_PLATFORM is ignored. Always returns
// 0.
int showNotifications(const std::vector<NotchNotification>& notifications);
int showNotifications(const std::vector<NotchNotification>& notifications,
                      const NotificationRunnerOptions& options);

}  // namespace zevirudi
