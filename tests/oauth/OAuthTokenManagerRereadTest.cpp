// The manager refreshes what the store holds once it has the account's lock, not the caller's
// copy: another process may have refreshed, rotated or removed the account meanwhile.

#include "oauth/OAuthTokenManager.h"

#include "helpers/CapturingLogSink.h"
#include "helpers/MailTestFakes.h"
#include "helpers/ScriptedHTTPTransport.h"
#include "helpers/ThrownError.h"
#include "records/Errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace loftwing {
namespace {

using test::CapturingLogSink;
using test::FakeAccountStore;
using test::ScriptedHTTPTransport;
using test::thrownError;
using namespace std::chrono_literals;

const Timestamp now = fromSecondsSince1970(1'800'000'000);

const std::map<MailProvider, OAuthClientConfiguration> settings{
    {MailProvider::google, {"g-client", "https://oauth.example/google/token", {}}},
};

const ConnectedAccount connected{"google:7", MailProvider::google, "a@example.com", std::nullopt};

StoredAccount withTokens(std::string access, std::string refresh, Timestamp expiresAt) {
    return {connected, {std::move(access), std::move(refresh), expiresAt, std::nullopt}};
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
    EXPECT_THAT(lines, ::testing::Contains(
                           "oauth: account google:7: token refresh refused, HTTP 400, error "
                           "invalid_grant"));
    for (const auto& line : lines) {
        EXPECT_THAT(line, ::testing::Not(::testing::HasSubstr("refresh/")));
    }
    setLogSink(nullptr);
}

}  // namespace
}  // namespace loftwing
