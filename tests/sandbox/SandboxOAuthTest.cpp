#include "SandboxTest.h"

#include <boost/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace loftwing::test {
namespace {

namespace json = boost::json;

// RFC 7636 Appendix B.
constexpr const char* rfcVerifier = "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk";
constexpr const char* rfcChallenge = "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM";

using Query = std::map<std::string, std::string>;

std::string clientID(const std::string& provider) {
    return std::string(provider == "google" ? SandboxServer::googleClientID
                                            : SandboxServer::microsoftClientID);
}

Query authorizeQuery(const std::string& provider) {
    return {{"client_id", clientID(provider)},
            {"redirect_uri", std::string(SandboxServer::redirectURI)},
            {"response_type", "code"},
            {"scope", "openid email"},
            {"state", "state-123"},
            {"code_challenge", rfcChallenge},
            {"code_challenge_method", "S256"}};
}

// A refresh grant without a scope.
Query refreshForm(const std::string& provider, const std::string& refreshToken) {
    return {{"client_id", clientID(provider)},
            {"grant_type", "refresh_token"},
            {"refresh_token", refreshToken}};
}

std::string withQuery(const std::string& path, const Query& query) {
    std::string url = path;
    for (const auto& [name, value] : query) {
        url += (url == path ? "?" : "&") + formEncoded(name) + "=" + formEncoded(value);
    }
    return url;
}

class SandboxOAuthTest : public SandboxTest {
  protected:
    ClientResponse authorize(const std::string& provider, const Query& query) {
        return client.get(withQuery("/" + provider + "/oauth/authorize", query));
    }

    std::string codeFor(const std::string& provider) {
        ClientResponse answer = authorize(provider, authorizeQuery(provider));
        EXPECT_EQ(answer.status, 302) << answer.body;
        return queryItem(answer.header("Location"), "code").value_or("");
    }

    Query exchangeForm(const std::string& provider, const std::string& code) {
        return {{"client_id", clientID(provider)},
                {"code", code},
                {"code_verifier", rfcVerifier},
                {"grant_type", "authorization_code"},
                {"redirect_uri", std::string(SandboxServer::redirectURI)}};
    }

    ClientResponse token(const std::string& provider, const Query& form) {
        return client.postForm("/" + provider + "/oauth/token", form);
    }
};

TEST_F(SandboxOAuthTest, AuthorizationCodeWithTheRFC7636VectorIsExchangedOnce) {
    for (const std::string provider : {"google", "microsoft"}) {
        SCOPED_TRACE(provider);
        ClientResponse redirect = authorize(provider, authorizeQuery(provider));
        ASSERT_EQ(redirect.status, 302);
        const std::string location = redirect.header("Location");
        EXPECT_TRUE(location.starts_with("com.loftwing.multi:/oauth2redirect?")) << location;
        EXPECT_EQ(queryItem(location, "state"), "state-123") << location;
        const std::string code = queryItem(location, "code").value_or("");
        ASSERT_FALSE(code.empty());

        ClientResponse tokens = token(provider, exchangeForm(provider, code));
        ASSERT_EQ(tokens.status, 200) << tokens.body;
        const json::object body = tokens.json().as_object();
        EXPECT_FALSE(body.at("access_token").as_string().empty());
        EXPECT_FALSE(body.at("refresh_token").as_string().empty());
        EXPECT_EQ(body.at("expires_in").as_int64(), 3600);
        EXPECT_EQ(body.at("scope").as_string(), "openid email");
        EXPECT_EQ(body.at("token_type").as_string(), "Bearer");

        ClientResponse again = token(provider, exchangeForm(provider, code));
        EXPECT_EQ(again.status, 400);
        EXPECT_EQ(again.json().at("error").as_string(), "invalid_grant");
    }
}

TEST_F(SandboxOAuthTest, CodeExchangeRefusesWhatDoesNotMatchTheAuthorization) {
    struct Row {
        const char* name;
        const char* field;
        const char* value;  // nullptr removes the field
        int status;
        const char* error;
    };
    const Row rows[] = {
        {"wrong verifier", "code_verifier", "dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXx", 400,
         "invalid_grant"},
        {"missing verifier", "code_verifier", nullptr, 400, "invalid_request"},
        {"other redirect uri", "redirect_uri", "com.loftwing.multi:/elsewhere", 400,
         "invalid_grant"},
        {"other client", "client_id", "someone-else", 400, "invalid_client"},
        {"unknown code", "code", "4/0unknown", 400, "invalid_grant"},
        {"unknown grant type", "grant_type", "password", 400, "unsupported_grant_type"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Query form = exchangeForm("google", codeFor("google"));
        if (row.value == nullptr) {
            form.erase(row.field);
        } else {
            form[row.field] = row.value;
        }
        ClientResponse answer = token("google", form);
        EXPECT_EQ(answer.status, row.status) << answer.body;
        EXPECT_EQ(answer.json().at("error").as_string(), row.error);
        EXPECT_TRUE(answer.json().as_object().contains("error_description"));
    }
}

TEST_F(SandboxOAuthTest, AuthorizeValidatesTheRequest) {
    struct Row {
        const char* name;
        const char* field;
        const char* value;  // nullptr removes the field
        int status;
        const char* redirectedError;  // nullptr: an error page, no redirect
    };
    const Row rows[] = {
        {"unknown client", "client_id", "someone-else", 400, nullptr},
        {"unregistered redirect", "redirect_uri", "https://evil.example/cb", 400, nullptr},
        {"token response type", "response_type", "token", 302, "unsupported_response_type"},
        {"plain challenge method", "code_challenge_method", "plain", 302, "invalid_request"},
        {"no challenge", "code_challenge", nullptr, 302, "invalid_request"},
        {"no state", "state", nullptr, 302, "invalid_request"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Query query = authorizeQuery("microsoft");
        if (row.value == nullptr) {
            query.erase(row.field);
        } else {
            query[row.field] = row.value;
        }
        ClientResponse answer = authorize("microsoft", query);
        EXPECT_EQ(answer.status, row.status);
        if (row.redirectedError == nullptr) {
            EXPECT_TRUE(answer.header("Location").empty());
        } else {
            EXPECT_EQ(queryItem(answer.header("Location"), "error"), row.redirectedError);
            EXPECT_FALSE(queryItem(answer.header("Location"), "code").has_value());
        }
    }
}

TEST_F(SandboxOAuthTest, ConsentCanBeDeniedOrGivenOnThePage) {
    sandbox.changeSettings({{"autoConsent", "deny"}});
    ClientResponse denied = authorize("google", authorizeQuery("google"));
    ASSERT_EQ(denied.status, 302);
    EXPECT_EQ(queryItem(denied.header("Location"), "error"), "access_denied");
    EXPECT_EQ(queryItem(denied.header("Location"), "state"), "state-123");

    sandbox.changeSettings({{"autoConsent", "off"}});
    ClientResponse page = authorize("google", authorizeQuery("google"));
    ASSERT_EQ(page.status, 200);
    EXPECT_NE(page.body.find(">Allow</button>"), std::string::npos);
    EXPECT_NE(page.body.find(">Deny</button>"), std::string::npos);
    const std::string marker = "name=\"request\" value=\"";
    const auto start = page.body.find(marker) + marker.size();
    const std::string requestID = page.body.substr(start, page.body.find('"', start) - start);

    ClientResponse allowed =
        client.postForm("/google/oauth/consent", {{"request", requestID}, {"decision", "allow"}});
    ASSERT_EQ(allowed.status, 302);
    const std::string code = queryItem(allowed.header("Location"), "code").value_or("");
    EXPECT_EQ(token("google", exchangeForm("google", code)).status, 200);
    // A consent request is answered once.
    EXPECT_EQ(
        client.postForm("/google/oauth/consent", {{"request", requestID}, {"decision", "allow"}})
            .status,
        400);
}

TEST_F(SandboxOAuthTest, RefreshRotatesOnlyWhenAskedAndRefusesUsedOrRevokedTokens) {
    struct Row {
        const char* provider;
        bool rotate;
    };
    for (const Row& row : {Row{"google", true}, Row{"google", false}, Row{"microsoft", true},
                           Row{"microsoft", false}}) {
        SCOPED_TRACE(std::string(row.provider) + (row.rotate ? " rotating" : " not rotating"));
        const std::string provider = row.provider;
        sandbox.changeSettings({{"rotateRefreshTokens", row.rotate}});
        const std::string account = provider == "google" ? gmail : graph;
        const SandboxTokens issued = sandbox.issueTokens(account);
        Query form = refreshForm(provider, issued.refreshToken);
        if (provider == "microsoft") {
            form["scope"] = "offline_access https://graph.microsoft.com/Mail.Read";
        }
        ClientResponse first = token(provider, form);
        ASSERT_EQ(first.status, 200) << first.body;
        const json::object body = first.json().as_object();
        EXPECT_NE(body.at("access_token").as_string(), issued.accessToken);
        ClientResponse second = token(provider, form);
        if (row.rotate) {
            EXPECT_NE(body.at("refresh_token").as_string(), issued.refreshToken);
            EXPECT_EQ(second.status, 400);
            EXPECT_EQ(second.json().at("error").as_string(), "invalid_grant");
        } else {
            // Google sends no refresh token then; Microsoft repeats the one it got.
            EXPECT_EQ(body.contains("refresh_token"), provider == "microsoft");
            EXPECT_EQ(second.status, 200);
        }
    }

    const SandboxTokens issued = sandbox.issueTokens(gmail);
    sandbox.revokeTokens(gmail);
    ClientResponse revoked = token("google", refreshForm("google", issued.refreshToken));
    EXPECT_EQ(revoked.status, 400);
    EXPECT_EQ(revoked.json().at("error").as_string(), "invalid_grant");
    EXPECT_EQ(client.get("/v1/userinfo", issued.accessToken).status, 401);
}

TEST_F(SandboxOAuthTest, ConcurrentRefreshesOfOneRotatingTokenSucceedOnce) {
    sandbox.changeSettings({{"rotateRefreshTokens", true}});
    const SandboxTokens issued = sandbox.issueTokens(gmail);
    std::vector<int> statuses(8);
    {
        std::vector<std::jthread> callers;
        for (std::size_t i = 0; i < statuses.size(); ++i) {
            callers.emplace_back([&, i] {
                SandboxClient own(sandbox.port(), false);
                statuses[i] =
                    own.postForm("/google/oauth/token", refreshForm("google", issued.refreshToken))
                        .status;
            });
        }
    }
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 200), 1);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), 400), 7);
}

TEST_F(SandboxOAuthTest, MicrosoftRefreshRequiresAScope) {
    const SandboxTokens issued = sandbox.issueTokens(graph);
    ClientResponse answer = token("microsoft", refreshForm("microsoft", issued.refreshToken));
    EXPECT_EQ(answer.status, 400);
    EXPECT_EQ(answer.json().at("error").as_string(), "invalid_request");
}

TEST_F(SandboxOAuthTest, BearerTokensWorkOnlyOnTheirProvidersAPIsAndUntilTheyExpire) {
    const SandboxTokens google = sandbox.issueTokens(gmail);
    const SandboxTokens microsoft = sandbox.issueTokens(graph);
    const SandboxTokens expired = sandbox.issueTokens(gmail, 0);
    struct Row {
        const char* name;
        std::string path;
        std::string token;
        int status;
    };
    const Row rows[] = {
        {"google on userinfo", "/v1/userinfo", google.accessToken, 200},
        {"google on gmail", "/gmail/v1/users/me/messages?q=after:0", google.accessToken, 200},
        {"google on graph", "/v1.0/me", google.accessToken, 401},
        {"microsoft on graph", "/v1.0/me", microsoft.accessToken, 200},
        {"microsoft on graph mail", "/v1.0/me/mailFolders/inbox/messages", microsoft.accessToken,
         200},
        {"microsoft on gmail", "/gmail/v1/users/me/messages", microsoft.accessToken, 401},
        {"expired on gmail", "/gmail/v1/users/me/messages", expired.accessToken, 401},
        {"no token", "/gmail/v1/users/me/messages", "", 401},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClientResponse answer = client.get(row.path, row.token);
        EXPECT_EQ(answer.status, row.status) << answer.body;
        if (row.status == 401) {
            EXPECT_TRUE(answer.json().as_object().contains("error"));
        }
    }
}

}  // namespace
}  // namespace loftwing::test
