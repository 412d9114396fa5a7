#pragma once

#include "records/NativeMessages.h"

#include <optional>

namespace zevirudi {

// Shows accepted notifications in a process of its own session, detached from the host: the
// browser closes the host's pipes after the reply and kills the host soon after, which must not
// take the panel with it. Returns at once. What goes wrong from here on (no display, a fork or the
// panel module failing, the panel process ending badly) is logged under "panel": the browser has
// its answer already.
void launchNotificationPanels(const std::optional<loftwing::LinkNotificationPayload>& link,
                              const std::optional<loftwing::CodeNotificationPayload>& code);

}  // namespace zevirudi
