// The callback router as sequences of events: each row begins sign-ins, offers URLs and fails
// them in some order, and names what every accepted sign-in got.

#include "connection/OAuthCallbackRouter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

namespace zevirudi {
namespace {

struct Step {
    enum Kind { begin, handle, fail } kind;
    std::string scheme;             // begin
    std::vector<std::string> urls;  // handle
    bool accepted = true;           // begin: what it must return
};

Step beginWith(const std::string& scheme, bool accepted = true) {
    return {Step::begin, scheme, {}, accepted};
}
Step handleURLs(std::vector<std::string> urls) {
    return {Step::handle, {}, std::move(urls)};
}
Step failWait() {
    return {Step::fail, {}, {}};
}

// "waiting", "failed", or the URL the sign-in was completed with.
std::string outcome(std::future<std::string>& future) {
    if (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        return "waiting";
    }
    try {
        return future.get();
    } catch (const std::runtime_error&) {
        return "failed";
    }
}

TEST(OAuthCallbackRouterTest, EventSequences) {
    struct Row {
        const char* name;
        std::vector<Step> steps;
        std::vector<std::string> outcomes;  // one per accepted begin, in order
    };
    const std::string scheme = "com.loftwing.multi";
    const std::string redirect = "com.loftwing.multi:/oauth2redirect?code=4/0a&state=s";
    const Row rows[] = {
        {"the scheme differs only in letter case",
         {beginWith("Com.Loftwing.Multi"), handleURLs({"COM.loftwing.MULTI:/cb?code=1"})},
         {"COM.loftwing.MULTI:/cb?code=1"}},
        {"the first matching URL of a list wins",
         {beginWith(scheme),
          handleURLs({"https://example.com/", "com.loftwing.multi:/a", "com.loftwing.multi:/b"})},
         {"com.loftwing.multi:/a"}},
        {"URLs without a scheme or with another keep it waiting",
         {beginWith(scheme), handleURLs({"no scheme here", "mailto:a@example.com"}),
          handleURLs({})},
         {"waiting"}},
        {"a URL while nothing waits is ignored",
         {handleURLs({redirect}), beginWith(scheme), handleURLs({"com.loftwing.multi:/late"})},
         {"com.loftwing.multi:/late"}},
        {"a second sign-in is refused and the first completes later",
         {beginWith(scheme), beginWith(scheme, false), beginWith("other", false),
          handleURLs({"other:/x"}), handleURLs({redirect})},
         {redirect}},
        {"fail while idle does nothing", {failWait(), beginWith(scheme)}, {"waiting"}},
        {"once completed, later URLs and failures reach nobody",
         {beginWith(scheme), handleURLs({redirect}), handleURLs({"com.loftwing.multi:/again"}),
          failWait()},
         {redirect}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OAuthCallbackRouter router;
        std::vector<std::future<std::string>> waits;
        for (const auto& step : row.steps) {
            switch (step.kind) {
                case Step::begin: {
                    OAuthCallbackRouter::Continuation continuation;
                    auto future = continuation.get_future();
                    EXPECT_EQ(router.begin(step.scheme, std::move(continuation)), step.accepted);
                    if (step.accepted) {
                        waits.push_back(std::move(future));
                    }
                    break;
                }
                case Step::handle:
                    router.handle(step.urls);
                    break;
                case Step::fail:
                    router.fail(std::make_exception_ptr(std::runtime_error("ended")));
                    break;
            }
        }
        std::vector<std::string> outcomes;
        for (auto& wait : waits) {
            outcomes.push_back(outcome(wait));
        }
        EXPECT_EQ(outcomes, row.outcomes);
    }
}

}  // namespace
}  // namespace zevirudi
