#pragma once

#include <chrono>
#include <functional>
#include <stop_token>

namespace loftwing {

// Waits between retries. Throws OperationCancelled when the stop token is triggered first.
using RetrySleep = std::function<void(std::chrono::milliseconds, std::stop_token)>;

// Waits on the monotonic clock and wakes as soon as a stop is requested.
RetrySleep standardRetrySleep();

}  // namespace loftwing
