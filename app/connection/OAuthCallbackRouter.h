#pragma once

#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zevirudi {

// Holds the one sign-in that waits for its redirect and completes it with the first URL of the
// awaited scheme that the system hands to the application. Thread-safe: the sign-in waits on a
// worker thread while URLs arrive on the main thread.
class OAuthCallbackRouter {
  public:
    // Delivers the redirect URL, or the error that ended the wait; resumed exactly once.
    using Continuation = std::promise<std::string>;

    // The process's router, created on first use.
    static std::shared_ptr<OAuthCallbackRouter> shared();

    // Registers a waiting sign-in for `scheme` (compared in lower case). False, and nothing
    // changed, when one is waiting already; the refused continuation is then never resumed.
    bool begin(const std::string& scheme, Continuation continuation);

    // Completes the waiting sign-in with the first URL whose scheme is the awaited one; URLs
    // without a scheme or with another are skipped. Nothing happens when none matches or nothing
    // waits.
    void handle(const std::vector<std::string>& urls);

    // Ends the waiting sign-in with `error`; nothing happens when nothing waits.
    void fail(std::exception_ptr error);

  private:
    std::mutex mutex_;
    // Both set by begin and both cleared when the sign-in ends.
    std::optional<Continuation> continuation_;
    std::optional<std::string> expectedScheme_;
};

}  // namespace zevirudi
