#include "oauth/OAuthAuthorizationBuilder.h"

#include "helpers/ThrownError.h"
#include "records/Errors.h"

#include <gtest/gtest.h>
#include <boost/url/parse.hpp>
#include <boost/url/url_view.hpp>

#include <functional>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

namespace loftwing {
namespace {

ProviderOAuthConfiguration provider() {
    return {"client 1",
            "com.loftwing.multi:/oauth2redirect",
            "https://accounts.example/o/oauth2/auth?old=1&prompt=none",
            "https://accounts.example/token",
            {"openid", "https://mail.example/auth/mail.readonly"},
            std::nullopt,
            std::nullopt};
}

// The query items of a URL in order, decoded without reading "+" as a space.
std::vector<std::pair<std::string, std::string>> queryItems(const std::string& url) {
    const auto parsed = boost::urls::parse_uri(url);
    EXPECT_TRUE(parsed.has_value());
    boost::urls::encoding_opts options;
    options.space_as_plus = false;
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto& item : parsed->params(options)) {
        items.emplace_back(item.key, item.value);
    }
    return items;
}

bool isBase64URL(const std::string& text) {
    return text.find_first_not_of(
               "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_") ==
           std::string::npos;
}

TEST(OAuthAuthorizationBuilder, CodeChallengeOfRFC7636AppendixB) {
    EXPECT_EQ(
        OAuthAuthorizationBuilder::codeChallenge("dBjftJeZ4CVP-mB92K27uhbUJU1p1r_wW1gFWFOEjXk"),
        "E9Melhoa2OwvFrEMTJguCHaoeK1t8URWbuGJSstw-cM");
}

TEST(OAuthAuthorizationBuilder, GoogleRequestItemsInOrder) {
    const auto context = OAuthAuthorizationBuilder::make(MailProvider::google, provider(),
                                                         std::string(" name+tag@example.com\n"));
    EXPECT_EQ(context.codeVerifier.size(), 86u);
    EXPECT_EQ(context.state.size(), 43u);
    EXPECT_TRUE(isBase64URL(context.codeVerifier));
    EXPECT_TRUE(isBase64URL(context.state));
    // Every sign-in has secrets of its own.
    const auto other = OAuthAuthorizationBuilder::make(MailProvider::google, provider(), {});
    EXPECT_NE(other.codeVerifier, context.codeVerifier);
    EXPECT_NE(other.state, context.state);
    EXPECT_EQ(context.callbackScheme, "com.loftwing.multi");
    EXPECT_EQ(context.redirectURI, "com.loftwing.multi:/oauth2redirect");

    const std::vector<std::pair<std::string, std::string>> expected{
        {"client_id", "client 1"},
        {"redirect_uri", "com.loftwing.multi:/oauth2redirect"},
        {"response_type", "code"},
        {"scope", "openid https://mail.example/auth/mail.readonly"},
        {"state", context.state},
        {"code_challenge", OAuthAuthorizationBuilder::codeChallenge(context.codeVerifier)},
        {"code_challenge_method", "S256"},
        {"login_hint", "name+tag@example.com"},
        {"access_type", "offline"},
        {"prompt", "consent select_account"},
    };
    EXPECT_EQ(queryItems(context.authorizationURL), expected);
    // The configured query is replaced; spaces are %20 and "+" is %2B.
    const auto& url = context.authorizationURL;
    EXPECT_TRUE(url.starts_with("https://accounts.example/o/oauth2/auth?client_id=client%201&"));
    EXPECT_NE(url.find("&login_hint=name%2Btag@example.com&"), url.npos);
    EXPECT_TRUE(url.ends_with("&prompt=consent%20select_account"));
}

TEST(OAuthAuthorizationBuilder, MicrosoftRequestEndsWithSelectAccount) {
    const auto context =
        OAuthAuthorizationBuilder::make(MailProvider::microsoft, provider(), std::nullopt);
    const auto items = queryItems(context.authorizationURL);
    ASSERT_EQ(items.size(), 8u);
    EXPECT_EQ(items.back(), (std::pair<std::string, std::string>{"prompt", "select_account"}));
    for (const auto& [name, value] : items) {
        EXPECT_NE(name, "access_type");
        EXPECT_NE(name, "login_hint");
    }
}

TEST(OAuthAuthorizationBuilder, LoginHintRule) {
    const struct {
        const char* name;
        std::optional<std::string> hint;
        std::optional<std::string> sent;
    } rows[] = {
        {"address", "a@example.com", "a@example.com"},
        {"address with spaces and newline around", "  a@example.com \n", "a@example.com"},
        {"no at sign", "alice", std::nullopt},
        {"space inside", "a @example.com", std::nullopt},
        {"absent", std::nullopt, std::nullopt},
        {"non-ASCII address", "jürgen@exämple.de", "jürgen@exämple.de"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto context =
            OAuthAuthorizationBuilder::make(MailProvider::microsoft, provider(), row.hint);
        std::optional<std::string> sent;
        for (const auto& [name, value] : queryItems(context.authorizationURL)) {
            if (name == "login_hint") {
                sent = value;
            }
        }
        EXPECT_EQ(sent, row.sent);
    }
}

TEST(OAuthAuthorizationBuilder, UnusableSettingsAreInvalidData) {
    const struct {
        const char* name;
        std::function<void(ProviderOAuthConfiguration&)> change;
    } rows[] = {
        {"blank client id", [](auto& p) { p.clientID = " "; }},
        {"redirect does not parse", [](auto& p) { p.redirectURI = "no scheme"; }},
        {"endpoint does not parse", [](auto& p) { p.authorizationEndpoint = ""; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto settings = provider();
        row.change(settings);
        EXPECT_EQ(test::thrownError<LoftwingMultiError>(
                      [&] { OAuthAuthorizationBuilder::make(MailProvider::google, settings, {}); }),
                  LoftwingMultiError::invalidData());
    }
}

TEST(OAuthAuthorizationBuilder, RedirectChecks) {
    const std::string state = "S-1_abc";
    const auto refused = LoftwingMultiError::authenticationFailed();
    const auto invalid = LoftwingMultiError::invalidResponse();
    const struct {
        const char* name;
        std::string redirect;
        std::variant<std::string, LoftwingMultiError> expected;  // the code or the error
    } rows[] = {
        {"code and state", "com.loftwing.multi:/cb?state=S-1_abc&code=4%2F0A+b", "4/0A+b"},
        {"first state wins", "x:/cb?state=S-1_abc&state=other&code=c", "c"},
        {"second state does not count", "x:/cb?state=other&state=S-1_abc&code=c", refused},
        {"first code wins", "x:/cb?code=one&state=S-1_abc&code=two", "one"},
        {"no state", "x:/cb?code=c", refused},
        {"state of other case", "x:/cb?state=s-1_abc&code=c", refused},
        {"error item", "x:/cb?state=S-1_abc&error=access_denied&code=c", refused},
        {"empty error item", "x:/cb?state=S-1_abc&error=", refused},
        {"empty code", "x:/cb?state=S-1_abc&code=", invalid},
        {"no code", "x:/cb?state=S-1_abc", invalid},
        {"not a URL", "not a url", invalid},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (const auto* code = std::get_if<std::string>(&row.expected)) {
            EXPECT_EQ(OAuthAuthorizationBuilder::authorizationCode(row.redirect, state), *code);
        } else {
            EXPECT_EQ(test::thrownError<LoftwingMultiError>([&] {
                          OAuthAuthorizationBuilder::authorizationCode(row.redirect, state);
                      }),
                      std::get<LoftwingMultiError>(row.expected));
        }
    }
}

}  // namespace
}  // namespace loftwing
