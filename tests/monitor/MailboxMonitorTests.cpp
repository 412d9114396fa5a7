#include "monitor/MailboxMonitor.h"

#include "helpers/CapturingLogSink.h"
#include "helpers/MailTestFakes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using test::FakeAccountStore;
using test::ScriptedMailboxClient;
using test::storedAccount;

MailMessage mail(const std::string& accountID, const std::string& id, Timestamp receivedAt,
                 std::size_t htmlBytes = 0) {
    MailMessage message;
    message.id = accountID + ":" + id;
    message.accountID = accountID;
    message.accountEmail = accountID + "@example.com";
    message.sender = "sender@example.net";
    message.receivedAt = receivedAt;
    message.html = std::string(htmlBytes, 'a');
    return message;
}

// A message whose JSON encoding is exactly `bytes` long.
MailMessage mailOfEncodedSize(const std::string& accountID, const std::string& id,
                              Timestamp receivedAt, std::size_t bytes) {
    const auto base =
        encodeJson(mail(accountID, id, receivedAt), DateEncoding::millisecondsSince1970).size();
    return mail(accountID, id, receivedAt, bytes - base);
}

WatchRequest request(std::vector<std::string> seen = {}, std::int64_t sinceMs = 0) {
    return WatchRequest("poll", "chrome-extension://abc/", sinceMs, std::move(seen));
}

const Timestamp t0 = Timestamp{} + 1'800'000'000s;

// One poll of `accounts`, each read by `script` as if it were a Gmail account.
WatchResponse poll(std::vector<StoredAccount> accounts, ScriptedMailboxClient::Script script,
                   const WatchRequest& watch = request()) {
    auto client = std::make_shared<ScriptedMailboxClient>(MailProvider::google, std::move(script));
    return MailboxMonitor(std::make_shared<FakeAccountStore>(std::move(accounts)), {client})
        .poll(watch);
}

TEST(MailboxMonitor, StoreProblems) {
    auto empty = std::make_shared<FakeAccountStore>();
    auto response = MailboxMonitor(empty, {}).poll(request());
    EXPECT_FALSE(response.ok);
    EXPECT_EQ(response.error, "Connect at least one mail account in Zevirudi.");
    EXPECT_TRUE(response.accountChecks.empty());

    struct Row {
        const char* name;
        std::exception_ptr failure;
        std::string expected;
    };
    const Row rows[] = {
        {"described failure", std::make_exception_ptr(LoftwingMultiError::keychainNotAvailable()),
         std::string(*LoftwingMultiError::keychainNotAvailable().errorDescription())
             .substr(0, 240)},
        {"undescribed failure", std::make_exception_ptr(std::runtime_error("secret detail")),
         "The mail accounts could not be checked."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto store = std::make_shared<FakeAccountStore>();
        store->failWith(row.failure);
        response = MailboxMonitor(store, {}).poll(request());
        EXPECT_FALSE(response.ok);
        EXPECT_EQ(response.error, row.expected);
        EXPECT_TRUE(response.messages.empty() && response.warnings.empty() &&
                    response.accountChecks.empty());
    }
}

// A failed account gets a check and a warning, and the log its kind and codes keyed by the
// account id: nothing from the account or the failure's own text.
TEST(MailboxMonitor, FailureMappingAndLog) {
    const std::string reconnect =
        "Connect bo@example.com again in Zevirudi. Mail read access is missing, expired, or was "
        "removed.";
    const std::string tryAgain = "bo@example.com could not be checked. Try again.";
    using Status = AccountCheck::Status;
    using E = LoftwingMultiError;
    struct Row {
        const char* name;
        std::exception_ptr failure;
        Status status;
        std::string message;
        std::string code;
        std::string logged;  // after the code; empty: the error's own sentence
    };
    const auto failure = [](auto error) { return std::make_exception_ptr(error); };
    const Row rows[] = {
        {"reconnect required", failure(E::reconnectRequired()), Status::reconnectRequired,
         reconnect, "reconnect_required", ""},
        {"401", failure(E::httpStatus(401)), Status::reconnectRequired, reconnect, "http_401", ""},
        {"insufficient permissions",
         failure(E::gmailFailure(GmailFailureReason::insufficientPermissions)),
         Status::reconnectRequired, reconnect, "gmail_insufficientPermissions", ""},
        {"rate limit", failure(E::gmailFailure(GmailFailureReason::rateLimitExceeded)),
         Status::unavailable,
         "bo@example.com: Gmail has paused requests. Wait before checking again.",
         "gmail_rateLimitExceeded", ""},
        {"503", failure(E::httpStatus(503)), Status::unavailable, tryAgain, "http_503", ""},
        {"keychain status", failure(E::keychainStatus(-25300)), Status::unavailable, tryAgain,
         "local_error", ""},
        {"network", failure(TransportError(-1009, "offline at secret.example")),
         Status::unavailable, tryAgain, "network_-1009", "transport error -1009"},
        {"bad JSON", failure(JsonDecodingError("GmailMessage: \"payload\" is missing.")),
         Status::unavailable, tryAgain, "invalid_mail_data",
         "JSON: GmailMessage: \"payload\" is missing."},
        {"cancelled", failure(OperationCancelled()), Status::unavailable, tryAgain, "unavailable",
         "cancelled"},
        {"anything else", failure(std::logic_error("secret.example said no")), Status::unavailable,
         tryAgain, "unavailable", "unexpected St11logic_error"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto log = test::CapturingLogSink::install();
        const auto response =
            poll({storedAccount("a", MailProvider::google, "ana@example.com"),
                  storedAccount("b", MailProvider::google, "bo@example.com")},
                 [&](const StoredAccount& account, Timestamp,
                     const std::unordered_set<std::string>&) -> std::vector<MailMessage> {
                     if (account.account.id == "b") {
                         std::rethrow_exception(row.failure);
                     }
                     return {mail("a", "1", t0)};
                 });
        EXPECT_TRUE(response.ok);
        EXPECT_FALSE(response.error);
        ASSERT_EQ(response.accountChecks.size(), 2u);
        EXPECT_EQ(response.accountChecks[0], (AccountCheck{"a", Status::ready, {}, {}}));
        EXPECT_EQ(response.accountChecks[1],
                  (AccountCheck{"b", row.status, row.message, row.code}));
        EXPECT_EQ(response.warnings, std::vector<std::string>{row.message});
        EXPECT_EQ(response.messages.size(), 1u);
        std::string logged = row.logged;
        if (logged.empty()) {
            try {
                std::rethrow_exception(row.failure);
            } catch (const E& error) {
                logged = error.what();
            }
        }
        EXPECT_EQ(log->lines(), std::vector<std::string>{"monitor: account b: " + row.code + " (" +
                                                         logged + ")"});
    }
    setLogSink(nullptr);
}

TEST(MailboxMonitor, EveryAccountFailing) {
    const auto response =
        poll({storedAccount("z", MailProvider::google, "zed@example.com"),
              storedAccount("m", MailProvider::microsoft, "max@example.com")},
             [](const StoredAccount&, Timestamp, const std::unordered_set<std::string>&)
                 -> std::vector<MailMessage> { throw TransportError(-1001, "timed out"); });
    EXPECT_FALSE(response.ok);
    EXPECT_EQ(response.error, "None of the connected mail accounts could be checked.");
    ASSERT_EQ(response.accountChecks.size(), 2u);
    EXPECT_EQ(response.accountChecks[0],
              (AccountCheck{"m", AccountCheck::Status::unavailable,
                            "max@example.com uses an unsupported mail provider.", std::nullopt}));
    EXPECT_EQ(response.accountChecks[1].failureCode, "network_-1001");
    EXPECT_EQ(response.warnings,
              (std::vector<std::string>{"max@example.com uses an unsupported mail provider.",
                                        "zed@example.com could not be checked. Try again."}));
    EXPECT_TRUE(response.messages.empty());
}

TEST(MailboxMonitor, MessagesAreFilteredOrderedAndCapped) {
    struct Row {
        const char* name;
        std::vector<MailMessage> returned;
        std::vector<std::string> seen;
        std::vector<std::string> expectedIDs;
        bool sizeWarning;
    };
    std::vector<MailMessage> many;
    std::vector<std::string> newest200;
    for (int i = 0; i < 250; ++i) {
        many.push_back(mail("a", std::to_string(i), t0 + std::chrono::seconds(i)));
    }
    for (int i = 249; i >= 50; --i) {
        newest200.push_back("a:" + std::to_string(i));
    }
    const Row rows[] = {
        {"seen message is dropped, the rest newest first",
         {mail("a", "old", t0), mail("a", "seen", t0 + 5s), mail("a", "new", t0 + 9s)},
         {"a:seen"},
         {"a:new", "a:old"},
         false},
        {"250 small messages: the newest 200, no warning", many, {}, newest200, false},
        {"a later, smaller message may still fit",
         {mailOfEncodedSize("a", "1", t0 + 3s, 500'000),
          mailOfEncodedSize("a", "2", t0 + 2s, 450'000),
          mailOfEncodedSize("a", "3", t0 + 1s, 300'000)},
         {},
         {"a:1", "a:3"},
         true},
        {"exactly the budget fits",
         {mailOfEncodedSize("a", "1", t0 + 2s, 600'000), mailOfEncodedSize("a", "2", t0, 300'000)},
         {},
         {"a:1", "a:2"},
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto response = poll(
            {storedAccount("a", MailProvider::google, "ana@example.com")},
            [&](const StoredAccount&, Timestamp, const std::unordered_set<std::string>& excluding) {
                EXPECT_EQ(excluding,
                          std::unordered_set<std::string>(row.seen.begin(), row.seen.end()));
                return row.returned;
            },
            request(row.seen));
        EXPECT_TRUE(response.ok);
        std::vector<std::string> ids;
        for (const auto& message : response.messages) {
            ids.push_back(message.id);
        }
        EXPECT_EQ(ids, row.expectedIDs);
        const std::vector<std::string> warning{
            "Some messages exceeded the local size limit and could not be included in this "
            "check."};
        EXPECT_EQ(response.warnings, row.sizeWarning ? warning : std::vector<std::string>{});
    }
}

TEST(MailboxMonitor, ReadsAllAccountsAtOnce) {
    // Each client call waits until all three have started: only concurrent reads finish.
    std::mutex mutex;
    std::condition_variable started;
    int running = 0;
    const auto response =
        poll({storedAccount("a", MailProvider::google, "a@example.com"),
              storedAccount("b", MailProvider::google, "b@example.com"),
              storedAccount("c", MailProvider::google, "c@example.com")},
             [&](const StoredAccount& account, Timestamp, const std::unordered_set<std::string>&) {
                 std::unique_lock lock(mutex);
                 ++running;
                 started.notify_all();
                 if (!started.wait_for(lock, 10s, [&] { return running == 3; })) {
                     throw std::runtime_error("accounts were read one after another");
                 }
                 return std::vector<MailMessage>{mail(account.account.id, "m", t0)};
             });
    EXPECT_TRUE(response.ok);
    EXPECT_TRUE(response.warnings.empty());
    EXPECT_EQ(response.messages.size(), 3u);
}

}  // namespace
}  // namespace loftwing
