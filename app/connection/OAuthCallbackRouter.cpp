#include "connection/OAuthCallbackRouter.h"

#include <boost/url/parse.hpp>

#include <algorithm>
#include <cctype>

namespace zevirudi {
namespace {

std::string lowercased(std::string text) {
    std::ranges::transform(text, text.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

}  // namespace

std::shared_ptr<OAuthCallbackRouter> OAuthCallbackRouter::shared() {
    static const auto router = std::make_shared<OAuthCallbackRouter>();
    return router;
}

bool OAuthCallbackRouter::begin(const std::string& scheme, Continuation continuation) {
    const std::lock_guard lock(mutex_);
    if (continuation_) {
        return false;
    }
    expectedScheme_ = lowercased(scheme);
    continuation_ = std::move(continuation);
    return true;
}

void OAuthCallbackRouter::handle(const std::vector<std::string>& urls) {
    std::optional<Continuation> waiting;
    std::string match;
    {
        const std::lock_guard lock(mutex_);
        if (!expectedScheme_) {
            return;
        }
        const auto found = std::ranges::find_if(urls, [&](const std::string& url) {
            const auto parsed = boost::urls::parse_uri(url);
            return parsed && lowercased(std::string(parsed->scheme())) == *expectedScheme_;
        });
        if (found == urls.end()) {
            return;
        }
        match = *found;
        waiting.swap(continuation_);
        expectedScheme_.reset();
    }
    // Resumed outside the lock: the woken sign-in may begin the next one at once.
    waiting->set_value(std::move(match));
}

void OAuthCallbackRouter::fail(std::exception_ptr error) {
    std::optional<Continuation> waiting;
    {
        const std::lock_guard lock(mutex_);
        waiting.swap(continuation_);
        expectedScheme_.reset();
    }
    if (waiting) {
        waiting->set_exception(std::move(error));
    }
}

}  // namespace zevirudi
