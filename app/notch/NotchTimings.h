#pragma once

#include <chrono>

namespace zevirudi {

// The panel's pacing. Tests shorten it; the product uses the defaults.
struct NotchTimings {
    std::chrono::milliseconds expandDelay{80};
    std::chrono::milliseconds expandDuration{180};
    std::chrono::milliseconds collapseDuration{160};
    // From the start of the collapse to the panel's removal; a little longer than the collapse.
    std::chrono::milliseconds finishDelay{180};
    std::chrono::milliseconds dismissalDelay{60'000};
};

}  // namespace zevirudi
