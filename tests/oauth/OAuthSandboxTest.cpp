// The OAuth parts against the loopback sandbox providers, over the real transport.

#include "helpers/MailTestFakes.h"
#include "helpers/SandboxServer.h"
#include "helpers/ThrownError.h"
#include "oauth/CurlTransport.h"
#include "oauth/OAuthAuthorizationBuilder.h"
#include "oauth/OAuthTokenExchangeClient.h"
#include "oauth/OAuthTokenManager.h"
#include "records/Errors.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <boost/json/serialize.hpp>

#include <future>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using loftwing::test::SandboxServer;
using test::thrownError;

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
    // Like a browser, encode the spaces a Location header may carry before handing the address on.
    std::string location;
    for (const char c : answer->get_header_value("Location")) {
        location += c == ' ' ? std::string("%20") : std::string(1, c);
    }
    return location;
}

std::int64_t counter(const boost::json::object& counters, const char* group, const char* name) {
    const auto* values = counters.at(group).as_object().if_contains(name);
    return values ? values->as_int64() : 0;
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

    const auto rejection = [&](const std::string& usedCode) {
        const auto error = thrownError<OAuthProviderError>(
            [&] { client.exchange(usedCode, context.codeVerifier, configuration.google, now); });
        return error ? error->code() : "";
    };
    EXPECT_EQ(rejection(code), "invalid_grant");  // the code is single-use

    // Another authorization's verifier does not match the challenge.
    const auto second =
        OAuthAuthorizationBuilder::make(MailProvider::google, configuration.google, std::nullopt);
    const auto secondCode = OAuthAuthorizationBuilder::authorizationCode(
        redirectFor(sandbox, second.authorizationURL), second.state);
    EXPECT_EQ(rejection(secondCode), "invalid_grant");
}

TEST(OAuthSandbox, RefreshRotationSingleFlightAndRevocation) {
    SandboxServer sandbox;
    const auto id = sandbox.createMailbox("microsoft", "bob@contoso.example", "Bob");
    const auto issued = sandbox.issueTokens(id, 0);  // already expired
    const auto configuration = configurationOf(sandbox);
    const StoredAccount stored{{id, MailProvider::microsoft, "bob@contoso.example", "Bob"},
                               {issued.accessToken, issued.refreshToken, currentTime(), "x"}};
    auto store = std::make_shared<test::FakeAccountStore>(std::vector<StoredAccount>{stored});
    OAuthTokenManager manager(store, std::make_shared<CurlTransport>(),
                              tokenManagerConfigurations(configuration));
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
    EXPECT_EQ(thrownError<LoftwingMultiError>(
                  [&] { manager.accessToken(saved, saved.tokens.expiresAt); }),
              LoftwingMultiError::reconnectRequired());
}

}  // namespace
}  // namespace loftwing
