#include "host/NativeRequestHandling.h"

#include "helpers/MailTestFakes.h"
#include "monitor/MailboxMonitor.h"
#include "oauth/OAuthTokenExchangeClient.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

using loftwing::NativeHostRequest;
using loftwing::Timestamp;

// An account store whose reads fail with `error`.
std::shared_ptr<loftwing::test::FakeAccountStore> failingStore(std::exception_ptr error) {
    auto store = std::make_shared<loftwing::test::FakeAccountStore>();
    store->failWith(std::move(error));
    return store;
}

// Without mail clients: what these requests answer comes before any mail is read.
struct Fixture {
    std::shared_ptr<loftwing::test::FakeAccountStore> store =
        std::make_shared<loftwing::test::FakeAccountStore>();
    loftwing::MailboxMonitor monitor{store, {}};
};

NativeHostRequest request(std::string type) {
    NativeHostRequest result;
    result.type = std::move(type);
    return result;
}

TEST(NativeRequestHandling, StatusReportsKeyringFailures) {
    struct Row {
        const char* name;
        std::exception_ptr error;
        std::string expected;
    };
    const loftwing::OAuthProviderError longError("invalid_grant", std::string(200, 'd'));
    const std::vector<Row> rows{
        {"error without a description",
         std::make_exception_ptr(std::runtime_error("secret detail")),
         "Connected accounts could not be read. Unknown Keychain error."},
        {"description cut to 160 characters", std::make_exception_ptr(longError),
         "Connected accounts could not be read. " + longError.errorDescription()->substr(0, 160)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture fixture;
        const auto handled =
            handleNativeRequest(request("status"), *failingStore(row.error), fixture.monitor);
        EXPECT_FALSE(handled.response.ok);
        EXPECT_EQ(handled.response.error, row.expected);
        EXPECT_TRUE(handled.response.accounts.empty());
    }
}

// What a valid poll brings back is the browser run's; here the refusals.
TEST(NativeRequestHandling, PollRefusesBadOrigins) {
    Fixture fixture;
    struct Row {
        const char* name;
        std::optional<std::string> origin;
        std::optional<std::int64_t> since;
    };
    // A missing start time goes through Chromium end to end; the origin rules are PageOrigin's.
    const std::vector<Row> refused{
        {"no origin", std::nullopt, 0},
        {"not an origin", "login.example.com", 0},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.name);
        auto bad = request("poll");
        bad.origin = row.origin;
        bad.sinceEpochMilliseconds = row.since;
        const auto answer = handleNativeRequest(bad, *fixture.store, fixture.monitor);
        EXPECT_FALSE(answer.response.ok);
        EXPECT_EQ(answer.response.error, "The page origin is not valid.");
    }
}

// A store that cannot be read: the poll's own answer, no accounts, and nothing thrown.
TEST(NativeRequestHandling, HealthWithAnUnreadableStore) {
    Fixture fixture;
    const Timestamp now{std::chrono::milliseconds{1'700'000'000'999}};
    const auto failing =
        failingStore(std::make_exception_ptr(loftwing::LoftwingMultiError::keychainNotAvailable()));
    loftwing::MailboxMonitor monitor(failing, {});
    const auto unavailable = handleNativeRequest(request("health"), *failing, monitor, now);
    EXPECT_FALSE(unavailable.response.ok);
    EXPECT_TRUE(unavailable.response.accounts.empty());
    EXPECT_EQ(unavailable.response.error,
              "The system keyring is not available. Start GNOME Keyring or KWallet and try again.");
}

}  // namespace
}  // namespace zevirudi
