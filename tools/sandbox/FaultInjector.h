#pragma once

#include <boost/json/value.hpp>

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zevirudi::sandbox {

// One answer given instead of normal service.
struct FaultStep {
    bool dropConnection = false;
    int status = 503;
    std::optional<std::vector<std::string>> reasons;  // Google's errors[].reason values
    std::optional<std::string> oauthError;            // "error" of an OAuth endpoint's answer
    std::optional<std::string> rawBody;               // sent as is, e.g. a body that is not JSON
    // After rawBody: `fillBytes` bytes of `fillWith` repeated, then `bodyEnd`; a body of any size
    // (a 10 MiB message) without sending it through the admin interface.
    std::size_t fillBytes = 0;
    std::string fillWith = "a";
    std::string bodyEnd;
    // Sent gzip-compressed (Content-Encoding: gzip) and built in slices, so that a body of
    // gigabytes costs the sandbox its compressed size only: a gzip bomb.
    bool gzip = false;
    std::string contentType = "text/html; charset=UTF-8";
    std::optional<int> retryAfterSeconds;
};

// Per-endpoint faults and latency, set through the admin interface. Thread-safe.
class FaultInjector {
  public:
    struct Plan {
        std::chrono::milliseconds delay{0};
        std::optional<FaultStep> step;
    };

    // Replaces the endpoint's queue; keeps its delay when `delay` is absent.
    void set(const std::string& endpoint, std::deque<FaultStep> queue,
             std::optional<std::chrono::milliseconds> delay);
    // What the next request of the endpoint gets; takes the first queued step.
    Plan next(const std::string& endpoint);
    boost::json::value describe() const;
    void clear();

  private:
    struct EndpointFaults {
        std::deque<FaultStep> queue;
        std::chrono::milliseconds delay{0};
    };

    mutable std::mutex mutex_;
    std::map<std::string, EndpointFaults> endpoints_;
};

// Reads a queue entry of the admin interface: a status number, or an object with "status",
// "reasons", "error", "body", "fill", "fillWith", "bodyEnd", "gzip", "contentType", "retryAfter",
// "drop". Throws std::invalid_argument.
FaultStep faultStepFromJSON(const boost::json::value& entry);

}  // namespace zevirudi::sandbox
