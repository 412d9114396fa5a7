#include "connection/ChromeOAuthWebAuthenticator.h"

#include "records/Errors.h"
#include "support/LogSink.h"

#include <future>
#include <system_error>
#include <utility>

namespace zevirudi {

using loftwing::LoftwingMultiError;

ChromeOAuthWebAuthenticator::ChromeOAuthWebAuthenticator(
    std::shared_ptr<OAuthCallbackRouter> callbackRouter,
    std::shared_ptr<DesktopWorkspace> workspace, std::function<Clock::time_point()> now)
    : callbackRouter_(std::move(callbackRouter)),
      workspace_(std::move(workspace)),
      now_(std::move(now)) {}

std::string ChromeOAuthWebAuthenticator::prepareRedirect(const std::string& redirectURI) {
    const std::lock_guard lock(mutex_);
    // A listener prepared for a sign-in that never started is closed here.
    preparedListener_.reset();
    if (!LoopbackRedirectListener::isLoopback(redirectURI)) {
        return redirectURI;
    }
    preparedListener_ = std::make_unique<LoopbackRedirectListener>(redirectURI);
    return preparedListener_->redirectURI();
}

bool ChromeOAuthWebAuthenticator::abandonStaleWait() {
    {
        const std::lock_guard lock(mutex_);
        if (!waitingSince_ || now_() - *waitingSince_ < abandonedAfter) {
            return false;
        }
    }
    callbackRouter_->fail(std::make_exception_ptr(loftwing::OperationCancelled()));
    return true;
}

std::string ChromeOAuthWebAuthenticator::authenticate(const std::string& url,
                                                      const std::string& callbackScheme,
                                                      std::stop_token stop) {
    std::unique_ptr<LoopbackRedirectListener> listener;
    {
        const std::lock_guard lock(mutex_);
        listener = std::move(preparedListener_);
    }
    const auto begin = [&]() -> std::optional<std::future<std::string>> {
        OAuthCallbackRouter::Continuation continuation;
        auto redirect = continuation.get_future();
        if (!callbackRouter_->begin(callbackScheme, std::move(continuation))) {
            return std::nullopt;
        }
        return redirect;
    };
    auto redirect = begin();
    if (!redirect && abandonStaleWait()) {
        redirect = begin();
    }
    if (!redirect) {
        throw LoftwingMultiError::authenticationFailed();
    }

    std::uint64_t waitNumber = 0;
    {
        const std::lock_guard lock(mutex_);
        waitingSince_ = now_();
        waitNumber = ++waitNumber_;
    }
    struct WaitEnd {
        ChromeOAuthWebAuthenticator& self;
        std::uint64_t number;
        ~WaitEnd() {
            const std::lock_guard lock(self.mutex_);
            if (self.waitNumber_ == number) {
                self.waitingSince_.reset();
            }
        }
    } waitEnd{*this, waitNumber};

    const std::stop_callback onStop(stop, [this] {
        callbackRouter_->fail(std::make_exception_ptr(loftwing::OperationCancelled()));
    });
    if (listener) {
        listener->start([router = callbackRouter_](const std::string& received) {
            router->handle({received});
        });
    }
    if (redirect->wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        const auto browser = workspace_->findBrowser();
        if (!browser) {
            callbackRouter_->fail(std::make_exception_ptr(LoftwingMultiError::itemNotFound()));
        } else {
            try {
                workspace_->openInBrowser(*browser, url);
            } catch (const std::system_error& error) {
                loftwing::logMessage(
                    loftwing::LogLevel::error, "accounts",
                    std::string("The browser for the sign-in did not start: ") + error.what());
                callbackRouter_->fail(std::current_exception());
            }
        }
    }
    return redirect->get();
}

}  // namespace zevirudi
