// The connector end to end: the real curl transport against the loopback sandbox providers, the
// sandbox's auto-consent as the browser step, and accounts saved in a throw-away keyring.

#include "SandboxWebAuthenticator.h"
#include "connection/OAuthAccountConnector.h"
#include "helpers/SandboxServer.h"
#include "oauth/CurlTransport.h"
#include "records/Errors.h"
#include "storage/KeychainAccountStore.h"
#include "storage/SecretServiceKeychainStore.h"

#include <gtest/gtest.h>
#include <boost/json/serialize.hpp>

#include <atomic>
#include <memory>
#include <string>

namespace zevirudi {
namespace {

using loftwing::LoftwingMultiError;
using loftwing::MailProvider;
using loftwing::test::SandboxServer;

// Passes the sign-in on to the sandbox, then lets a test change the redirect on its way back.
class RewritingAuthenticator : public OAuthWebAuthenticating {
  public:
    RewritingAuthenticator(std::shared_ptr<OAuthWebAuthenticating> inner,
                           std::function<std::string(std::string)> rewrite)
        : inner_(std::move(inner)), rewrite_(std::move(rewrite)) {}

    std::string authenticate(const std::string& url, const std::string& callbackScheme,
                             std::stop_token stop) override {
        ++calls;
        return rewrite_(inner_->authenticate(url, callbackScheme, stop));
    }

    std::atomic<int> calls = 0;

  private:
    std::shared_ptr<OAuthWebAuthenticating> inner_;
    std::function<std::string(std::string)> rewrite_;
};

class ConnectorSandbox : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        // A service of its own per test, so that no test sees another's accounts.
        store = std::make_shared<loftwing::KeychainAccountStore>(
            std::make_shared<loftwing::SecretServiceKeychainStore>(
                std::string("com.loftwing.multi.accounts.test.") + test->name(), std::nullopt));
        authenticator = std::make_shared<RewritingAuthenticator>(
            std::make_shared<sandbox::SandboxWebAuthenticator>(transport),
            [this](std::string redirect) { return rewrite(std::move(redirect)); });
    }

    loftwing::LoftwingAppConfiguration configuration() const {
        return loftwing::decodeAppConfiguration(boost::json::serialize(server.productConfig()));
    }

    OAuthAccountConnector connector() const {
        return OAuthAccountConnector(configuration(), store, authenticator, transport);
    }

    // The error of a connect that must fail, after checking that nothing was saved.
    template <typename Error>
    Error failure(MailProvider provider, const std::optional<std::string>& hint = std::nullopt) {
        try {
            connector().connect(provider, hint);
        } catch (const Error& error) {
            EXPECT_TRUE(store->allAccounts().empty());
            return error;
        }
        ADD_FAILURE() << "no error of the expected type";
        throw std::runtime_error("no error");
    }

    SandboxServer server;
    std::shared_ptr<loftwing::CurlTransport> transport =
        std::make_shared<loftwing::CurlTransport>();
    std::shared_ptr<loftwing::KeychainAccountStore> store;
    std::function<std::string(std::string)> rewrite = [](std::string redirect) { return redirect; };
    std::shared_ptr<RewritingAuthenticator> authenticator;
};

TEST_F(ConnectorSandbox, ConnectsGmailAndOutlookWithTheirTokens) {
    const auto google =
        server.createMailbox("google", "ann@example.com", "Ann", {{"subjectID", "111"}});
    const auto microsoft = server.createMailbox("microsoft", "bob@contoso.example", "Bob");

    const auto ann = connector().connect(MailProvider::google, std::string("ann@example.com"));
    const auto bob = connector().connect(MailProvider::microsoft, std::nullopt);

    EXPECT_EQ(ann, (loftwing::ConnectedAccount{"google:111", MailProvider::google,
                                               "ann@example.com", "Ann"}));
    EXPECT_EQ(bob, (loftwing::ConnectedAccount{microsoft, MailProvider::microsoft,
                                               "bob@contoso.example", "Bob"}));
    const auto saved = store->allAccounts();
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].account, ann);
    EXPECT_EQ(saved[1].account, bob);
    for (const auto& account : saved) {
        SCOPED_TRACE(account.account.id);
        EXPECT_FALSE(account.tokens.accessToken.empty());
        EXPECT_TRUE(account.tokens.refreshToken.has_value());
        EXPECT_GT(account.tokens.expiresAt, loftwing::currentTime() + std::chrono::minutes(50));
    }
    // The saved tokens are live: the profile endpoint accepts them.
    loftwing::HTTPRequest request;
    request.url = server.baseURL() + "/v1/userinfo";
    request.headers = {{"Authorization", "Bearer " + saved[0].tokens.accessToken}};
    EXPECT_EQ(transport->data(request).statusCode, 200);
    EXPECT_EQ(google, "google:111");
}

TEST_F(ConnectorSandbox, RefusedOrForgedSignInsSaveNothing) {
    server.createMailbox("google", "ann@example.com", "Ann");

    server.changeSettings({{"autoConsent", "deny"}});
    EXPECT_EQ(failure<LoftwingMultiError>(MailProvider::google),
              LoftwingMultiError::authenticationFailed());

    // A consent page instead of a redirect: the sandbox's browser step cannot press its buttons.
    server.changeSettings({{"autoConsent", "off"}});
    EXPECT_EQ(failure<LoftwingMultiError>(MailProvider::google),
              LoftwingMultiError::authenticationFailed());

    server.changeSettings({{"autoConsent", "allow"}});
    rewrite = [](std::string redirect) {
        const auto state = redirect.find("state=") + 6;
        return redirect.replace(state, 1, redirect[state] == 'A' ? "B" : "A");
    };
    EXPECT_EQ(failure<LoftwingMultiError>(MailProvider::google),
              LoftwingMultiError::authenticationFailed());
    EXPECT_EQ(authenticator->calls, 3);
}

TEST_F(ConnectorSandbox, TransportReturnsRedirectsOnlyWhenAsked) {
    server.createMailbox("google", "ann@example.com", "Ann");
    const auto settings = configuration().google;
    const auto url = settings.authorizationEndpoint + "?client_id=" + settings.clientID +
                     "&redirect_uri=com.loftwing.multi:/oauth2redirect&response_type=code"
                     "&state=s&scope=openid&code_challenge=" +
                     std::string(43, 'a') + "&code_challenge_method=S256";
    loftwing::HTTPRequest request;
    request.url = url;

    // Followed, the redirect to the application's scheme is a transport failure.
    EXPECT_THROW(transport->data(request), loftwing::TransportError);

    request.followRedirects = false;
    const auto answer = transport->data(request);
    EXPECT_EQ(answer.statusCode, 302);
}

}  // namespace
}  // namespace zevirudi
