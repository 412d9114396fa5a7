// The connector's own decisions with fakes at the seams: when it refuses to start, what it asks
// the provider for, and which profiles make an account.

#include "connection/OAuthAccountConnector.h"

#include "connection/AccountConnectionError.h"
#include "helpers/MailTestFakes.h"
#include "helpers/ScriptedHTTPTransport.h"
#include "helpers/ThrownError.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace zevirudi {
namespace {

using loftwing::HTTPRequest;
using loftwing::HTTPResponse;
using loftwing::LoftwingMultiError;
using loftwing::MailProvider;
using loftwing::test::FakeAccountStore;
using loftwing::test::ScriptedHTTPTransport;
using loftwing::test::thrownError;

constexpr const char* tokenAnswer =
    R"({"access_token":"access-1","expires_in":3600,"refresh_token":"refresh-1",)"
    R"("scope":"openid email","token_type":"Bearer"})";

loftwing::ProviderOAuthConfiguration providerSettings(const std::string& name) {
    loftwing::ProviderOAuthConfiguration settings;
    settings.clientID = name + "-client";
    settings.redirectURI = "com.loftwing.multi:/oauth2redirect";
    settings.authorizationEndpoint = "https://login." + name + ".example/authorize";
    settings.tokenEndpoint = "https://login." + name + ".example/token";
    settings.scopes = {"openid", "email"};
    settings.profileURL = "https://api." + name + ".example/profile";
    if (name == "microsoft") {
        *settings.profileURL += "?$select=id,displayName,mail,userPrincipalName";
    }
    return settings;
}

loftwing::LoftwingAppConfiguration configuration() {
    loftwing::LoftwingAppConfiguration result;
    result.extensionID = "fdofanllhaoohikcgegeblddpmmmhiii";
    result.google = providerSettings("google");
    result.microsoft = providerSettings("microsoft");
    return result;
}

// Plays the provider's consent: redirects back with a code and the request's own state.
class FakeAuthenticator : public OAuthWebAuthenticating {
  public:
    std::function<void()> onAuthenticate = [] {};
    std::atomic<int> calls = 0;

    std::string authenticate(const std::string& url, const std::string& callbackScheme,
                             std::stop_token) override {
        ++calls;
        onAuthenticate();
        const auto start = url.find("state=") + 6;
        const auto state = url.substr(start, url.find('&', start) - start);
        return callbackScheme + ":/oauth2redirect?code=code-1&state=" + state;
    }
};

// Token endpoint answers tokens; the profile endpoint answers `status` and `body`.
std::shared_ptr<ScriptedHTTPTransport> provider(int status, std::string body) {
    return std::make_shared<ScriptedHTTPTransport>(
        [=](const HTTPRequest& request, std::stop_token) {
            if (request.url.ends_with("/token")) {
                return HTTPResponse{200, {{"Content-Type", "application/json"}}, tokenAnswer};
            }
            return HTTPResponse{status, {{"Content-Type", "application/json"}}, body};
        });
}

TEST(OAuthAccountConnector, UnconfiguredProviderFailsBeforeTheBrowserOpens) {
    struct Row {
        MailProvider provider;
        std::function<void(loftwing::ProviderOAuthConfiguration&)> spoil;
        const char* description;
    } rows[] = {
        {MailProvider::microsoft, [](auto& s) { s.clientID = ""; },
         "The OAuth client for Outlook or Hotmail is not configured yet."},
        {MailProvider::microsoft, [](auto& s) { s.clientID = "  "; },
         "The OAuth client for Outlook or Hotmail is not configured yet."},
        {MailProvider::google, [](auto& s) { s.tokenEndpoint = "not a url"; },
         "The OAuth client for Gmail is not configured yet."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.description);
        auto settings = configuration();
        row.spoil(row.provider == MailProvider::google ? settings.google : settings.microsoft);
        auto store = std::make_shared<FakeAccountStore>();
        auto authenticator = std::make_shared<FakeAuthenticator>();
        auto transport = provider(200, "{}");
        OAuthAccountConnector connector(settings, store, authenticator, transport);

        const auto error = thrownError<AccountConnectionError>(
            [&] { connector.connect(row.provider, std::nullopt); });
        ASSERT_TRUE(error);
        EXPECT_EQ(*error, AccountConnectionError::providerNotConfigured(row.provider));
        EXPECT_EQ(loftwing::userFacingDescription(*error), row.description);
        EXPECT_EQ(authenticator->calls, 0);
        EXPECT_TRUE(transport->requests().empty());
        EXPECT_EQ(store->saved().size(), 0u);
    }
}

TEST(OAuthAccountConnector, BuildsTheAccountFromTheProfileOrSavesNothing) {
    enum class Outcome { account, invalidResponse, decodingError, httpStatus };
    struct Row {
        const char* name;
        MailProvider provider;
        int status;
        const char* body;
        Outcome outcome;
        loftwing::ConnectedAccount account{};
    } rows[] = {
        {"google with name",
         MailProvider::google,
         200,
         R"({"sub":"s1","email":"Ann@Example.com","name":" Ann ","email_verified":true})",
         Outcome::account,
         {"google:s1", MailProvider::google, "Ann@Example.com", " Ann "}},
        {"google without name",
         MailProvider::google,
         200,
         R"({"sub":"s1","email":"a@example.com","name":null})",
         Outcome::account,
         {"google:s1", MailProvider::google, "a@example.com", std::nullopt}},
        {"google empty email", MailProvider::google, 200, R"({"sub":"s1","email":""})",
         Outcome::invalidResponse},
        {"google empty sub", MailProvider::google, 200, R"({"sub":"","email":"a@example.com"})",
         Outcome::invalidResponse},
        {"google email missing", MailProvider::google, 200, R"({"sub":"s1"})",
         Outcome::decodingError},
        {"google 401", MailProvider::google, 401, R"({"sub":"s1","email":"a@example.com"})",
         Outcome::httpStatus},
        {"microsoft mail",
         MailProvider::microsoft,
         200,
         R"({"id":"m1","displayName":"Bob","mail":"bob@contoso.example","userPrincipalName":"upn@contoso.example"})",
         Outcome::account,
         {"microsoft:m1", MailProvider::microsoft, "bob@contoso.example", "Bob"}},
        {"microsoft mail absent",
         MailProvider::microsoft,
         200,
         R"({"id":"m1","userPrincipalName":"upn@contoso.example"})",
         Outcome::account,
         {"microsoft:m1", MailProvider::microsoft, "upn@contoso.example", std::nullopt}},
        {"microsoft mail null",
         MailProvider::microsoft,
         200,
         R"({"id":"m1","mail":null,"userPrincipalName":"upn@contoso.example"})",
         Outcome::account,
         {"microsoft:m1", MailProvider::microsoft, "upn@contoso.example", std::nullopt}},
        {"microsoft mail empty", MailProvider::microsoft, 200,
         R"({"id":"m1","mail":"","userPrincipalName":"upn@contoso.example"})",
         Outcome::invalidResponse},
        {"microsoft no address", MailProvider::microsoft, 200, R"({"id":"m1"})",
         Outcome::invalidResponse},
        {"microsoft empty id", MailProvider::microsoft, 200, R"({"id":"","mail":"b@example.com"})",
         Outcome::invalidResponse},
        {"microsoft mail not text", MailProvider::microsoft, 200, R"({"id":"m1","mail":7})",
         Outcome::decodingError},
        {"microsoft 503", MailProvider::microsoft, 503, "", Outcome::httpStatus},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto store = std::make_shared<FakeAccountStore>();
        OAuthAccountConnector connector(configuration(), store,
                                        std::make_shared<FakeAuthenticator>(),
                                        provider(row.status, row.body));
        switch (row.outcome) {
            case Outcome::account: {
                EXPECT_EQ(connector.connect(row.provider, std::nullopt), row.account);
                const auto saved = store->allAccounts();
                ASSERT_EQ(saved.size(), 1u);
                EXPECT_EQ(saved[0].account, row.account);
                EXPECT_EQ(saved[0].tokens.accessToken, "access-1");
                EXPECT_EQ(saved[0].tokens.refreshToken, "refresh-1");
                continue;
            }
            case Outcome::decodingError:
                EXPECT_THROW(connector.connect(row.provider, std::nullopt),
                             loftwing::JsonDecodingError);
                break;
            default:
                EXPECT_EQ(thrownError<LoftwingMultiError>(
                              [&] { connector.connect(row.provider, std::nullopt); }),
                          row.outcome == Outcome::httpStatus
                              ? LoftwingMultiError::httpStatus(row.status)
                              : LoftwingMultiError::invalidResponse());
        }
        EXPECT_EQ(store->saved().size(), 0u);
    }
}

TEST(OAuthAccountConnector, StopDuringTheSignInSavesNothing) {
    std::stop_source stop;
    auto store = std::make_shared<FakeAccountStore>();
    auto authenticator = std::make_shared<FakeAuthenticator>();
    // The fake transport ignores the stop, so only the connector's own check can prevent the save.
    authenticator->onAuthenticate = [&] { stop.request_stop(); };
    OAuthAccountConnector connector(configuration(), store, authenticator,
                                    provider(200, R"({"sub":"s1","email":"a@example.com"})"));

    EXPECT_THROW(connector.connect(MailProvider::google, std::nullopt, stop.get_token()),
                 loftwing::OperationCancelled);
    EXPECT_EQ(store->saved().size(), 0u);
}

}  // namespace
}  // namespace zevirudi
