#include "host/NativeRequestHandling.h"

#include "helpers/InMemoryKeychainDataStore.h"
#include "helpers/MailTestFakes.h"
#include "mail/MailboxClient.h"
#include "monitor/MailboxMonitor.h"
#include "oauth/OAuthTokenExchangeClient.h"
#include "records/Errors.h"
#include "storage/KeychainAccountStore.h"

#include <gtest/gtest.h>

#include <mutex>

namespace zevirudi {
namespace {

using loftwing::MailMessage;
using loftwing::MailProvider;
using loftwing::NativeHostRequest;
using loftwing::StoredAccount;
using loftwing::Timestamp;

StoredAccount account(const std::string& id, const std::string& email) {
    return StoredAccount{
        {id, MailProvider::google, email, std::nullopt},
        {"access-" + id, "refresh-" + id, Timestamp{std::chrono::hours{500'000}}, std::nullopt}};
}

// Returns one fixed message per account and records what the monitor asked for.
class RecordingClient : public loftwing::MailboxClient {
  public:
    MailProvider provider() const override { return MailProvider::google; }
    std::vector<MailMessage> recentMessages(const StoredAccount& stored, Timestamp since,
                                            const std::unordered_set<std::string>& excluding,
                                            std::stop_token) const override {
        const std::lock_guard lock(mutex_);
        lastSince = since;
        lastExcluding = excluding;
        MailMessage message;
        message.id = stored.account.id + ":m1";
        message.accountID = stored.account.id;
        message.accountEmail = stored.account.email;
        message.sender = "sender@example.com";
        message.receivedAt = since;
        return {message};
    }
    mutable std::mutex mutex_;
    mutable Timestamp lastSince;
    mutable std::unordered_set<std::string> lastExcluding;
};

// An account store whose reads fail with `error`.
std::shared_ptr<loftwing::test::FakeAccountStore> failingStore(std::exception_ptr error) {
    auto store = std::make_shared<loftwing::test::FakeAccountStore>();
    store->failWith(std::move(error));
    return store;
}

struct Fixture {
    std::shared_ptr<loftwing::KeychainAccountStore> store =
        std::make_shared<loftwing::KeychainAccountStore>(
            std::make_shared<loftwing::test::InMemoryKeychainDataStore>());
    std::shared_ptr<RecordingClient> client = std::make_shared<RecordingClient>();
    loftwing::MailboxMonitor monitor{store, {client}};

    Fixture() {
        store->save(account("google:2", "bob@example.com"));
        store->save(account("google:1", "Alice@example.com"));
    }
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

TEST(NativeRequestHandling, PollRefusesBadOriginsAndPassesTheRequestOn) {
    Fixture fixture;
    auto poll = request("poll");
    poll.origin = "https://login.example.com";
    poll.sinceEpochMilliseconds = 1'700'000'000'123;
    poll.seenMessageIDs = std::vector<std::string>{"google:1:m1"};

    const auto handled = handleNativeRequest(poll, *fixture.store, fixture.monitor);
    EXPECT_TRUE(handled.response.ok);
    ASSERT_EQ(handled.response.messages.size(), 1U);
    EXPECT_EQ(handled.response.messages[0].id, "google:2:m1") << "seen messages are filtered";
    EXPECT_TRUE(handled.response.accounts.empty());
    EXPECT_EQ(handled.response.accountChecks.size(), 2U);
    EXPECT_EQ(fixture.client->lastExcluding, (std::unordered_set<std::string>{"google:1:m1"}));
    EXPECT_EQ(fixture.client->lastSince, Timestamp{std::chrono::milliseconds{1'700'000'000'123}});

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
    loftwing::MailboxMonitor monitor(failing, {fixture.client});
    const auto unavailable = handleNativeRequest(request("health"), *failing, monitor, now);
    EXPECT_FALSE(unavailable.response.ok);
    EXPECT_TRUE(unavailable.response.accounts.empty());
    EXPECT_EQ(unavailable.response.error,
              "The system keyring is not available. Start GNOME Keyring or KWallet and try again.");
}

}  // namespace
}  // namespace zevirudi
