// The OAuth parts against the loopback sandbox providers, over the real transport.

#include "helpers/SandboxServer.h"
#include "oauth/CurlTransport.h"
#include "oauth/InMemoryAccountStore.h"
#include "oauth/OAuthAuthorizationBuilder.h"
#include "oauth/OAuthTokenExchangeClient.h"
#include "oauth/OAuthTokenManager.h"
#include "records/Errors.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <boost/json/serialize.hpp>

#include <future>
#include <thread>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using zevirudi::testing::SandboxServer;

LoftwingAppConfiguration configurationOf(const SandboxServer& sandbox) {
    return decodeAppConfiguration(boost::json::serialize(sandbox.productConfig()));
}

// What the browser does with the authorization request: the redirect it is sent to.
std::string redirectFor(const SandboxServer& sandbox, const std::string& authorizationURL) {
    httplib::Client browser("127.0.0.1", sandbox.port());
    const auto path = authorizationURL.substr(sandbox.baseURL().size());
    const auto answer = browser.Get(path.c_str());
    EXPECT_TRUE(answer);
    EXPECT_EQ(answer->status, 302);
    return answer->get_header_value("Location");
}

std::int64_t counter(const boost::json::object& counters, const char* group, const char* name) {
    const auto* values = counters.at(group).as_object().if_contains(name);
    return values ? values->as_int64() : 0;
}

std::int64_t familyConnections(SandboxServer& sandbox, const char* family) {
    const auto counters = sandbox.counters();
    const auto* count =
        counters.at("connections").as_object().at("families").as_object().if_contains(family);
    return count ? count->as_int64() : 0;
}

TEST(OAuthSandbox, CodeExchangeWithPKCE) {
    SandboxServer sandbox;
    sandbox.createMailbox("google", "ann@example.com", "Ann");
    const auto configuration = configurationOf(sandbox);
    const OAuthTokenExchangeClient client(std::make_shared<CurlTransport>());
    const Timestamp now = currentTime();

    const auto context = OAuthAuthorizationBuilder::make(MailProvider::google, configuration.google,
                                                         std::string("ann@example.com"));
    const auto code = OAuthAuthorizationBuilder::authorizationCode(
        redirectFor(sandbox, context.authorizationURL), context.state);
    EXPECT_TRUE(code.starts_with("4/0"));  // carries a "/" through the form encoding
    const auto tokens = client.exchange(code, context.codeVerifier, configuration.google, now);
    EXPECT_FALSE(tokens.accessToken.empty());
    EXPECT_TRUE(tokens.refreshToken.has_value());
    EXPECT_GT(tokens.expiresAt, now);

    // The code is single-use.
    try {
        client.exchange(code, context.codeVerifier, configuration.google, now);
        ADD_FAILURE() << "a used code was accepted";
    } catch (const OAuthProviderError& error) {
        EXPECT_EQ(error.code(), "invalid_grant");
    }

    // Another authorization's verifier does not match the challenge.
    const auto second =
        OAuthAuthorizationBuilder::make(MailProvider::google, configuration.google, std::nullopt);
    const auto secondCode = OAuthAuthorizationBuilder::authorizationCode(
        redirectFor(sandbox, second.authorizationURL), second.state);
    try {
        client.exchange(secondCode, context.codeVerifier, configuration.google, now);
        ADD_FAILURE() << "a wrong verifier was accepted";
    } catch (const OAuthProviderError& error) {
        EXPECT_EQ(error.code(), "invalid_grant");
    }
}

TEST(OAuthSandbox, RefreshRotationSingleFlightAndRevocation) {
    SandboxServer sandbox;
    const auto id = sandbox.createMailbox("microsoft", "bob@contoso.example", "Bob");
    const auto issued = sandbox.issueTokens(id, 0);  // already expired
    const auto configuration = configurationOf(sandbox);
    auto store = std::make_shared<testing::InMemoryAccountStore>();
    OAuthTokenManager manager(store, std::make_shared<CurlTransport>(),
                              tokenManagerConfigurations(configuration));
    const StoredAccount stored{{id, MailProvider::microsoft, "bob@contoso.example", "Bob"},
                               {issued.accessToken, issued.refreshToken, currentTime(), "x"}};
    sandbox.resetCounters();

    constexpr int callers = 8;
    std::vector<std::future<std::string>> tokens;
    for (int i = 0; i < callers; ++i) {
        tokens.push_back(std::async(std::launch::async,
                                    [&] { return manager.accessToken(stored, currentTime()); }));
    }
    const std::string first = tokens.front().get();
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        EXPECT_EQ(tokens[i].get(), first);
    }
    EXPECT_EQ(counter(sandbox.counters(), "requests", "microsoft.oauth.token"), 1);
    ASSERT_EQ(store->allAccounts().size(), 1u);
    const auto saved = store->allAccounts().front();
    EXPECT_EQ(saved.tokens.accessToken, first);
    EXPECT_NE(saved.tokens.refreshToken, issued.refreshToken);  // rotated

    // The refreshed token reads mail.
    CurlTransport transport;
    HTTPRequest me;
    me.url = configuration.profileURL(MailProvider::microsoft);
    me.headers = {{"Authorization", "Bearer " + first}};
    EXPECT_EQ(transport.data(me).statusCode, 200);

    sandbox.admin("POST", "/_sandbox/mailboxes/" + id + "/revoke");
    try {
        manager.accessToken(saved, saved.tokens.expiresAt);
        ADD_FAILURE() << "a revoked refresh token worked";
    } catch (const LoftwingMultiError& error) {
        EXPECT_EQ(error, LoftwingMultiError::reconnectRequired());
    }
}

TEST(OAuthSandbox, TransportReusesConnectionsTimesOutAndCancels) {
    SandboxServer sandbox;
    const auto id = sandbox.createMailbox("google", "ann@example.com");
    const auto issued = sandbox.issueTokens(id);
    const auto configuration = configurationOf(sandbox);
    HTTPRequest profile;
    profile.url = configuration.profileURL(MailProvider::google);
    profile.headers = {{"Authorization", "Bearer " + issued.accessToken}};
    CurlTransport transport;
    sandbox.resetCounters();

    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(transport.data(profile).statusCode, 200);
    }
    EXPECT_EQ(familyConnections(sandbox, "google.userinfo"), 1);

    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 5; ++i) {
                    EXPECT_EQ(transport.data(profile).statusCode, 200);
                }
            });
        }
    }
    EXPECT_LE(familyConnections(sandbox, "google.userinfo"), 4);

    // A 401 is an answer, not a failure, and keeps its headers.
    HTTPRequest unauthorized = profile;
    unauthorized.headers = {{"Authorization", "Bearer wrong"}};
    const auto refused = transport.data(unauthorized);
    EXPECT_EQ(refused.statusCode, 401);
    bool challenged = false;
    for (const auto& [name, value] : refused.headers) {
        challenged = challenged || name == "WWW-Authenticate";
    }
    EXPECT_TRUE(challenged);

    sandbox.setFault("google.userinfo", {}, 3000);
    HTTPRequest slow = profile;
    slow.timeout = 300ms;
    try {
        transport.data(slow);
        ADD_FAILURE() << "no time-out";
    } catch (const TransportError& error) {
        EXPECT_EQ(error.code(), -1001);
    }

    std::stop_source stop;
    // Read before the call starts: a count read after it may already include the call.
    const auto before = counter(sandbox.counters(), "requests", "google.userinfo");
    auto call = std::async(std::launch::async, [&] {
        EXPECT_THROW(transport.data(profile, stop.get_token()), OperationCancelled);
        return std::chrono::steady_clock::now();
    });
    // The request is in flight once the sandbox has counted it.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (counter(sandbox.counters(), "requests", "google.userinfo") == before &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    const auto requested = std::chrono::steady_clock::now();
    stop.request_stop();
    ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
    EXPECT_LT(call.get() - requested, 100ms);
}

}  // namespace
}  // namespace loftwing
