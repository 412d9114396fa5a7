#include "mail/RetrySleep.h"

#include "records/Errors.h"

#include <condition_variable>
#include <mutex>

namespace loftwing {

RetrySleep standardRetrySleep() {
    return [](std::chrono::milliseconds duration, std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wakeUp;
        std::unique_lock lock(mutex);
        // Nothing but the stop request or the time-out ends the wait.
        wakeUp.wait_for(lock, stop, duration, [] { return false; });
        if (stop.stop_requested()) {
            throw OperationCancelled();
        }
    };
}

}  // namespace loftwing
