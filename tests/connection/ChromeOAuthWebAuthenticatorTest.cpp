// How a browser sign-in ends: with the redirect, the browser's failure, a stop, a quit, or a new
// sign-in after the old one was left alone for ten minutes. The router must be idle afterwards.

#include "connection/ChromeOAuthWebAuthenticator.h"
#include "helpers/FakeWorkspace.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <system_error>

namespace zevirudi {
namespace {

using loftwing::LoftwingMultiError;

const std::string scheme = "com.loftwing.multi";
const std::string signInURL = "https://accounts.example/authorize?state=s";
const std::string redirect = "com.loftwing.multi:/oauth2redirect?code=c&state=s";

// What an authenticate call ended with: the URL, or the kind of its error.
std::string ending(std::future<std::string>& call) {
    if (call.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        return "still waiting";
    }
    try {
        return call.get();
    } catch (const LoftwingMultiError& error) {
        return error == LoftwingMultiError::itemNotFound()           ? "itemNotFound"
               : error == LoftwingMultiError::authenticationFailed() ? "authenticationFailed"
                                                                     : error.what();
    } catch (const loftwing::OperationCancelled&) {
        return "cancelled";
    } catch (const std::system_error& error) {
        return "system error " + std::to_string(error.code().value());
    }
}

bool routerIsIdle(OAuthCallbackRouter& router) {
    OAuthCallbackRouter::Continuation probe;
    const bool idle = router.begin("probe", std::move(probe));
    router.fail(std::make_exception_ptr(loftwing::OperationCancelled()));
    return idle;
}

struct Fixture {
    std::shared_ptr<OAuthCallbackRouter> router = std::make_shared<OAuthCallbackRouter>();
    std::shared_ptr<loftwing::test::FakeWorkspace> workspace =
        std::make_shared<loftwing::test::FakeWorkspace>();
    std::atomic<ChromeOAuthWebAuthenticator::Clock::rep> minutes = 0;
    ChromeOAuthWebAuthenticator authenticator{
        router, workspace, [this] {
            return ChromeOAuthWebAuthenticator::Clock::time_point() +
                   std::chrono::minutes(minutes.load());
        }};
    std::stop_source stop;  // the sheet's

    std::future<std::string> signIn() {
        return std::async(std::launch::async, [this] {
            return authenticator.authenticate(signInURL, scheme, stop.get_token());
        });
    }
};

TEST(ChromeOAuthWebAuthenticatorTest, EveryWaitEnds) {
    struct Row {
        const char* name;
        std::function<void(Fixture&)> before;  // before the sign-in starts
        std::function<void(Fixture&)> during;  // once the browser is open; none: never opened
        std::string expected;
    };
    const auto nothing = [](Fixture&) {};
    const auto closeSheet = [](Fixture& f) { f.stop.request_stop(); };
    const Row rows[] = {
        {"the redirect comes back", nothing,
         [](Fixture& f) {
             f.router->handle({"https://elsewhere.example/", redirect});
         },
         redirect},
        {"no Chrome and no Chromium", [](Fixture& f) { f.workspace->browser.reset(); }, nullptr,
         "itemNotFound"},
        {"the browser does not start",
         [](Fixture& f) {
             f.workspace->onOpen = [](const std::string&) {
                 throw std::system_error(ENOEXEC, std::generic_category(), "exec");
             };
         },
         nullptr, "system error " + std::to_string(ENOEXEC)},
        {"the sheet is closed", nothing, closeSheet, "cancelled"},
        {"the sheet was closed before the browser opened", closeSheet, nullptr, "cancelled"},
        {"the application quits", nothing,
         [](Fixture& f) {
             f.router->fail(std::make_exception_ptr(loftwing::OperationCancelled()));
         },
         "cancelled"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f;
        row.before(f);
        auto call = f.signIn();
        if (row.during) {
            EXPECT_EQ(f.workspace->waitForOpened(), signInURL);
            row.during(f);
        }
        EXPECT_EQ(ending(call), row.expected);
        EXPECT_EQ(f.workspace->opened().empty(), !row.during);
        EXPECT_TRUE(routerIsIdle(*f.router));
    }
}

TEST(ChromeOAuthWebAuthenticatorTest, ASecondSignInWaitsOnlyForAnAbandonedFirst) {
    struct Row {
        const char* name;
        int minutesLater;
        std::string first;
        std::string second;
    };
    const Row rows[] = {
        {"nine minutes later the first keeps waiting", 9, redirect, "authenticationFailed"},
        {"ten minutes later the first is abandoned", 10, "cancelled", redirect},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f;
        auto first = f.signIn();
        f.workspace->waitForOpened();
        f.minutes = row.minutesLater;
        auto second = f.signIn();
        if (row.second == "authenticationFailed") {
            EXPECT_EQ(ending(second), row.second);
            f.router->handle({redirect});
            EXPECT_EQ(ending(first), row.first);
        } else {
            EXPECT_EQ(ending(first), row.first);
            f.workspace->waitForOpened(1);
            f.router->handle({redirect});
            EXPECT_EQ(ending(second), row.second);
        }
        EXPECT_TRUE(routerIsIdle(*f.router));
    }
}

}  // namespace
}  // namespace zevirudi
