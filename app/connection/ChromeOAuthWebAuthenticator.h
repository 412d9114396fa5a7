#pragma once

#include "connection/LoopbackRedirectListener.h"
#include "connection/OAuthCallbackRouter.h"
#include "connection/OAuthWebAuthenticating.h"
#include "desktop/DesktopWorkspace.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace zevirudi {

// The sign-in in the user's Chrome (else Chromium): opens the authorization URL there and waits
// for the router to bring the redirect back, from the custom scheme's desktop handler or from a
// loopback listener. One sign-in waits at a time; the wait ends with the redirect, with the
// browser's failure, when the caller's stop token is triggered (sheet closed, application
// quitting), or when a new sign-in starts after the waiting one was left for ten minutes.
class ChromeOAuthWebAuthenticator final : public OAuthWebAuthenticating {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::minutes abandonedAfter{10};

    ChromeOAuthWebAuthenticator(std::shared_ptr<OAuthCallbackRouter> callbackRouter,
                                std::shared_ptr<DesktopWorkspace> workspace,
                                std::function<Clock::time_point()> now = Clock::now);

    // A loopback redirect URI gets its listener here (bound before the authorization request
    // names its port); others come back unchanged. Throws std::system_error when the loopback
    // address cannot be bound.
    std::string prepareRedirect(const std::string& redirectURI) override;

    // Returns the redirect URL. Throws LoftwingMultiError::authenticationFailed at once when
    // another sign-in waits, itemNotFound without a browser, std::system_error when the browser
    // cannot be started, OperationCancelled when the wait was ended.
    std::string authenticate(const std::string& url, const std::string& callbackScheme,
                             std::stop_token stop = {}) override;

  private:
    bool abandonStaleWait();

    std::shared_ptr<OAuthCallbackRouter> callbackRouter_;
    std::shared_ptr<DesktopWorkspace> workspace_;
    std::function<Clock::time_point()> now_;

    std::mutex mutex_;
    std::unique_ptr<LoopbackRedirectListener> preparedListener_;
    // When this authenticator's own sign-in began to wait; the number tells waits apart.
    std::optional<Clock::time_point> waitingSince_;
    std::uint64_t waitNumber_ = 0;
};

}  // namespace zevirudi
