#include "oauth/OAuthTokenManager.h"

#include "helpers/CapturingLogSink.h"
#include "helpers/MailTestFakes.h"
#include "helpers/ScriptedHTTPTransport.h"
#include "helpers/ThrownError.h"
#include "records/Errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <latch>
#include <thread>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using test::CapturingLogSink;
using test::FakeAccountStore;
using test::ScriptedHTTPTransport;
using test::thrownError;

const Timestamp now{std::chrono::seconds{1'800'000'000}};

const std::map<MailProvider, OAuthClientConfiguration> settings{
    {MailProvider::google, {"g-client", "https://oauth.example/google/token", {"a", "b"}}},
    {MailProvider::microsoft,
     {"m-client", "https://oauth.example/microsoft/token", {"offline_access", "Mail.Read"}}},
};

StoredAccount account(MailProvider provider, Timestamp expiresAt,
                      std::optional<std::string> refreshToken = "refresh/1") {
    return {{"acct-1", provider, "a@example.com", std::nullopt},
            {"old-access", std::move(refreshToken), expiresAt, "old scope"}};
}

// The manager reads the account again before refreshing it, so the store holds it as listed.
struct ManagerFixture {
    std::shared_ptr<FakeAccountStore> store;
    std::shared_ptr<ScriptedHTTPTransport> transport;
    OAuthTokenManager manager;

    ManagerFixture(std::shared_ptr<ScriptedHTTPTransport> fake, const StoredAccount& stored,
                   std::map<MailProvider, OAuthClientConfiguration> configurations = settings)
        : store(std::make_shared<FakeAccountStore>(std::vector<StoredAccount>{stored})),
          transport(fake),
          manager(store, fake, std::move(configurations)) {}
};

// A token due within a minute is refreshed with the provider's form, and the answer saved.
TEST(OAuthTokenManager, RefreshesWhenDueAndSavesTheAnswer) {
    const std::string googleURL = "https://oauth.example/google/token";
    const std::string form =
        "client_id=g-client&grant_type=refresh_token&refresh_token=refresh%2F1";
    const struct {
        const char* name;
        StoredAccount stored;
        std::string answer;
        std::string url;  // empty: no request
        std::string body;
        OAuthTokenSet saved;
    } rows[] = {
        {"expires in 60.001 s", account(MailProvider::google, now + 60'001ms), "", "", "", {}},
        {"no refresh token, still valid",
         account(MailProvider::google, now + 1h, std::nullopt),
         "",
         "",
         "",
         {}},
        {"expires in exactly 60 s; google carries no scope, the old refresh token is kept and the "
         "old scope dropped",
         account(MailProvider::google, now + 60s),
         R"({"access_token":"new","expires_in":3600})",
         googleURL,
         form,
         {"new", "refresh/1", now + 3600s, std::nullopt}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ManagerFixture setup(ScriptedHTTPTransport::answering(200, row.answer), row.stored);
        const bool refreshes = !row.url.empty();
        EXPECT_EQ(setup.manager.accessToken(row.stored, now),
                  refreshes ? row.saved.accessToken : "old-access");
        const auto requests = setup.transport->requests();
        ASSERT_EQ(requests.size(), refreshes ? 1u : 0u);
        EXPECT_EQ(setup.store->saved().size(), requests.size());
        if (refreshes) {
            EXPECT_EQ(requests[0].url, row.url);
            EXPECT_EQ(requests[0].body, row.body);
            EXPECT_EQ(setup.store->allAccounts(),
                      (std::vector<StoredAccount>{{row.stored.account, row.saved}}));
        }
    }
}

TEST(OAuthTokenManager, Failures) {
    const auto reconnect = LoftwingMultiError::reconnectRequired();
    const struct {
        const char* name;
        StoredAccount stored;
        std::map<MailProvider, OAuthClientConfiguration> configurations;
        int status;
        std::string body;
        LoftwingMultiError error;
        std::size_t requests;
    } rows[] = {
        {"no refresh token", account(MailProvider::google, now, std::nullopt), settings, 200, "",
         reconnect, 0},
        {"no settings for the provider",
         account(MailProvider::microsoft, now),
         {{MailProvider::google, settings.at(MailProvider::google)}},
         200,
         "",
         reconnect,
         0},
        {"invalid_grant", account(MailProvider::google, now), settings, 400,
         R"({"error":"invalid_grant","error_description":"Token has been revoked."})", reconnect,
         1},
        {"invalid_token", account(MailProvider::google, now), settings, 401,
         R"({"error":"invalid_token"})", reconnect, 1},
        {"other error code", account(MailProvider::google, now), settings, 400,
         R"({"error":"invalid_request"})", LoftwingMultiError::httpStatus(400), 1},
        {"error code of other case", account(MailProvider::google, now), settings, 400,
         R"({"error":"INVALID_GRANT"})", LoftwingMultiError::httpStatus(400), 1},
        {"401 with empty body", account(MailProvider::google, now), settings, 401, "",
         LoftwingMultiError::httpStatus(401), 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ManagerFixture setup(ScriptedHTTPTransport::answering(row.status, row.body), row.stored,
                             row.configurations);
        EXPECT_EQ(
            thrownError<LoftwingMultiError>([&] { setup.manager.accessToken(row.stored, now); }),
            row.error);
        EXPECT_EQ(setup.transport->requests().size(), row.requests);
        EXPECT_TRUE(setup.store->saved().empty());
    }
}

TEST(OAuthTokenManager, SaveFailureIsThrownAndTheTokenNotReturned) {
    ManagerFixture setup(
        ScriptedHTTPTransport::answering(200, R"({"access_token":"new","expires_in":3600})"),
        account(MailProvider::google, now));
    setup.store->saveFailure = std::make_exception_ptr(LoftwingMultiError::interactionNotAllowed());
    EXPECT_EQ(thrownError<LoftwingMultiError>(
                  [&] { setup.manager.accessToken(account(MailProvider::google, now), now); }),
              LoftwingMultiError::interactionNotAllowed());
}

TEST(OAuthTokenManager, SharedRefreshFailureReachesEveryCaller) {
    constexpr int callers = 4;
    std::latch started(callers);
    auto transport =
        std::make_shared<ScriptedHTTPTransport>([&](const HTTPRequest&, std::stop_token) {
            started.wait();
            return HTTPResponse{400, {}, R"({"error":"invalid_grant"})"};
        });
    const auto stored = account(MailProvider::google, now);
    ManagerFixture setup(transport, stored);
    std::atomic<int> reconnects = 0;
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < callers; ++i) {
            threads.emplace_back([&] {
                started.count_down();
                try {
                    setup.manager.accessToken(stored, now);
                } catch (const LoftwingMultiError& error) {
                    reconnects += error == LoftwingMultiError::reconnectRequired() ? 1 : 0;
                }
            });
        }
    }
    EXPECT_EQ(reconnects, callers);
    // Failures are not remembered: every caller that did not join a refresh sends its own.
    EXPECT_GE(transport->requests().size(), 1u);
    EXPECT_LE(transport->requests().size(), static_cast<std::size_t>(callers));
}

TEST(OAuthTokenManager, StoppedCallerStopsWaiting) {
    std::atomic<int> calls = 0;
    auto transport = std::make_shared<ScriptedHTTPTransport>(
        [&](const HTTPRequest&, std::stop_token) -> HTTPResponse {
            if (++calls == 1) {
                throw OperationCancelled();
            }
            return HTTPResponse{200, {}, R"({"access_token":"second","expires_in":3600})"};
        });
    const auto stored = account(MailProvider::google, now);
    ManagerFixture setup(transport, stored);
    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_THROW(setup.manager.accessToken(stored, now, stopped.get_token()), OperationCancelled);
    // After a cancelled refresh the next caller refreshes afresh.
    EXPECT_EQ(setup.manager.accessToken(stored, now), "second");
    EXPECT_EQ(calls, 2);
}

// The manager refreshes what the store holds once it has the account's lock, not the caller's
// copy: another process may have refreshed, rotated or removed the account meanwhile.
StoredAccount withTokens(std::string access, std::string refresh, Timestamp expiresAt) {
    auto stored = account(MailProvider::google, expiresAt, std::move(refresh));
    stored.tokens.accessToken = std::move(access);
    return stored;
}

TEST(OAuthTokenManagerReread, RefreshesWhatTheStoreHolds) {
    const StoredAccount callersCopy = withTokens("stale", "refresh/1", now);
    const struct {
        const char* name;
        std::optional<StoredAccount> stored;  // absent: removed meanwhile
        std::string token;                    // empty: itemNotFound
        std::vector<std::string> sentRefreshTokens;
    } rows[] = {
        {"another process refreshed already",
         withTokens("fresh", "refresh/2", now + 1h),
         "fresh",
         {}},
        {"another process rotated the refresh token, the token is due again",
         withTokens("old", "refresh/2", now),
         "new",
         {"refresh%2F2"}},
        {"removed meanwhile: neither refreshed nor saved again", std::nullopt, "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto store = std::make_shared<FakeAccountStore>(
            row.stored ? std::vector<StoredAccount>{*row.stored} : std::vector<StoredAccount>{});
        auto transport = ScriptedHTTPTransport::answering(
            200, R"({"access_token":"new","refresh_token":"refresh/3","expires_in":3600})");
        OAuthTokenManager manager(store, transport, settings);

        if (row.token.empty()) {
            EXPECT_EQ(
                thrownError<LoftwingMultiError>([&] { manager.accessToken(callersCopy, now); }),
                LoftwingMultiError::itemNotFound());
        } else {
            EXPECT_EQ(manager.accessToken(callersCopy, now), row.token);
        }
        std::vector<std::string> sent;
        for (const auto& request : transport->requests()) {
            sent.push_back(request.body.substr(request.body.find("refresh_token=") + 14));
        }
        EXPECT_EQ(sent, row.sentRefreshTokens);
        EXPECT_EQ(store->saved().size(), sent.size());
    }
}

TEST(OAuthTokenManagerReread, RefusalAfterTheStoredTokenChangedIsRetriedOnceWithIt) {
    const auto log = CapturingLogSink::install();
    const StoredAccount stored = withTokens("old", "refresh/1", now);
    auto store = std::make_shared<FakeAccountStore>(std::vector<StoredAccount>{stored});
    auto transport =
        std::make_shared<ScriptedHTTPTransport>([&](const HTTPRequest& request, std::stop_token) {
            if (request.body.find("refresh%2F1") != std::string::npos) {
                // A writer that takes no lock (a reconnect) replaces the tokens meanwhile.
                store->save(withTokens("reconnected", "refresh/9", now));
                return HTTPResponse{400, {}, R"({"error":"invalid_grant"})"};
            }
            return HTTPResponse{200, {}, R"({"access_token":"new","expires_in":3600})"};
        });
    OAuthTokenManager manager(store, transport, settings);

    EXPECT_EQ(manager.accessToken(stored, now), "new");
    const auto requests = transport->requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_THAT(requests[1].body, ::testing::HasSubstr("refresh_token=refresh%2F9"));
    EXPECT_EQ(store->allAccounts().at(0).tokens.refreshToken, "refresh/9");

    // A second refusal, with the stored token unchanged, is the provider's last word.
    auto refusing = ScriptedHTTPTransport::answering(400, R"({"error":"invalid_grant"})");
    OAuthTokenManager refused(store, refusing, settings);
    EXPECT_EQ(thrownError<LoftwingMultiError>(
                  [&] { refused.accessToken(withTokens("x", "refresh/9", now), now + 2h); }),
              LoftwingMultiError::reconnectRequired());
    EXPECT_EQ(refusing->requests().size(), 1u);

    const auto lines = log->lines();
    EXPECT_THAT(lines,
                ::testing::Contains("oauth: account acct-1: token refresh refused, HTTP 400, error "
                                    "invalid_grant"));
    for (const auto& line : lines) {
        EXPECT_THAT(line, ::testing::Not(::testing::HasSubstr("refresh/")));
    }
    setLogSink(nullptr);
}

}  // namespace
}  // namespace loftwing
