#include "oauth/OAuthTokenExchangeClient.h"

#include "helpers/ScriptedHTTPTransport.h"
#include "helpers/ThrownError.h"

#include <gtest/gtest.h>

#include <functional>

namespace loftwing {
namespace {

using test::ScriptedHTTPTransport;
using test::thrownError;

const Timestamp now{std::chrono::seconds{1'800'000'000}};

ProviderOAuthConfiguration provider() {
    return {"client.apps.example",
            "com.loftwing.multi:/oauth2redirect",
            "https://accounts.example/auth",
            "https://accounts.example/token",
            {"openid"},
            std::nullopt,
            std::nullopt};
}

TEST(FormEncodedBody, SortsAndPercentEncodes) {
    const struct {
        const char* name;
        std::map<std::string, std::string> fields;
        std::string body;
    } rows[] = {
        {"sorted by name",
         {{"code_verifier", "v"}, {"code", "c"}, {"a", "1"}},
         "a=1&code=c&code_verifier=v"},
        {"reserved characters",
         {{"v", "a b+c/d:e=f&g?h#i%j"}},
         "v=a%20b%2Bc%2Fd%3Ae%3Df%26g%3Fh%23i%25j"},
        {"unreserved marks kept", {{"v", "A-z.0_9~"}}, "v=A-z.0_9~"},
        {"non-ASCII letters kept", {{"v", "Jürgen Ωμέγα 東京"}}, "v=Jürgen%20Ωμέγα%20東京"},
        {"combining mark and other digits kept",
         {{"v", "e\u0301\u0663\u00BD"}},
         "v=e\u0301\u0663\u00BD"},
        {"symbols and punctuation encoded", {{"v", "€é!*'()"}}, "v=%E2%82%ACé%21%2A%27%28%29"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(formEncodedBody(row.fields), row.body);
    }
    // A value that is not UTF-8 is refused instead of sent empty; so is such a name.
    for (const auto& fields : {std::map<std::string, std::string>{{"v", "ok\xFF"}, {"w", "x"}},
                               std::map<std::string, std::string>{{"\xC3", "x"}}}) {
        EXPECT_EQ(thrownError<LoftwingMultiError>([&] { formEncodedBody(fields); }),
                  LoftwingMultiError::invalidData());
    }
}

TEST(OAuthProviderError, DescriptionAndCuts) {
    EXPECT_EQ(*OAuthProviderError("invalid_grant", std::string("Code expired")).errorDescription(),
              "The mail provider rejected the sign-in request (invalid_grant): Code expired");
    EXPECT_EQ(*OAuthProviderError("invalid_grant", std::string("")).errorDescription(),
              "The mail provider rejected the sign-in request (invalid_grant).");
    EXPECT_EQ(*OAuthProviderError("invalid_grant", std::nullopt).errorDescription(),
              "The mail provider rejected the sign-in request (invalid_grant).");
    const OAuthProviderError cut(std::string(81, 'c'),
                                 std::string(150, 'd') + std::string(60, 'e'));
    EXPECT_EQ(cut.code(), std::string(80, 'c'));
    EXPECT_EQ(cut.detail(), std::string(150, 'd') + std::string(50, 'e'));
    // Characters are user-perceived ones: a letter with its combining accent counts once.
    std::string accented;
    for (int i = 0; i < 81; ++i) {
        accented += "e\u0301";
    }
    EXPECT_EQ(OAuthProviderError(accented, std::nullopt).code().size(), 80u * 3);
}

TEST(OAuthTokenExchangeClient, SendsTheFormAndReturnsTokens) {
    auto transport = ScriptedHTTPTransport::answering(
        200,
        R"({"access_token":"at","refresh_token":"rt","expires_in":3599,"scope":"s t","token_type":"Bearer"})");
    const OAuthTokenExchangeClient client(transport);
    const auto tokens = client.exchange("4/0A+b/c", "verifier~1", provider(), now);
    EXPECT_EQ(tokens, (OAuthTokenSet{"at", "rt", now + std::chrono::seconds(3599), "s t"}));

    const auto requests = transport->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].url, "https://accounts.example/token");
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].timeout, std::chrono::seconds(60));
    EXPECT_EQ(requests[0].headers,
              (HTTPHeaders{{"Content-Type", "application/x-www-form-urlencoded"}}));
    EXPECT_EQ(requests[0].body,
              "client_id=client.apps.example&code=4%2F0A%2Bb%2Fc&code_verifier=verifier~1&"
              "grant_type=authorization_code&redirect_uri=com.loftwing.multi%3A%2Foauth2redirect");
}

TEST(OAuthTokenExchangeClient, AnswersAndFailures) {
    using Check = std::function<void(const std::function<OAuthTokenSet()>&)>;
    const auto fails = [](auto expected) -> Check {
        return [expected](const std::function<OAuthTokenSet()>& exchange) {
            EXPECT_EQ(thrownError<decltype(expected)>(exchange), expected);
        };
    };
    const auto decodingFails = [](const std::function<OAuthTokenSet()>& exchange) {
        EXPECT_THROW(exchange(), JsonDecodingError);
    };
    const auto gives = [](OAuthTokenSet expected) -> Check {
        return [expected](const std::function<OAuthTokenSet()>& exchange) {
            EXPECT_EQ(exchange(), expected);
        };
    };
    const struct {
        const char* name;
        int status;
        std::string body;
        Check check;
    } rows[] = {
        {"expires_in 0", 200, R"({"access_token":"a","expires_in":0})",
         gives({"a", std::nullopt, now, std::nullopt})},
        {"expires_in written as 60.0", 201, R"({"access_token":"a","expires_in":60.0})",
         gives({"a", std::nullopt, now + std::chrono::seconds(60), std::nullopt})},
        {"400 with description", 400, R"({"error":"invalid_grant","error_description":"Bad code"})",
         fails(OAuthProviderError("invalid_grant", std::string("Bad code")))},
        {"400 with error not a string", 400, R"({"error":5})",
         fails(LoftwingMultiError::httpStatus(400))},
        {"502 with HTML", 502, "<html>Bad gateway</html>",
         fails(LoftwingMultiError::httpStatus(502))},
        {"199 is not success", 199, R"({"access_token":"a","expires_in":1})",
         fails(LoftwingMultiError::httpStatus(199))},
        {"300 is not success", 300, "", fails(LoftwingMultiError::httpStatus(300))},
        {"missing expires_in", 200, R"({"access_token":"a"})", decodingFails},
        {"expires_in with fraction", 200, R"({"access_token":"a","expires_in":1.5})",
         decodingFails},
        {"empty access_token", 200, R"({"access_token":"","expires_in":1})",
         fails(LoftwingMultiError::invalidResponse())},
        {"absurd lifetime", 200, R"({"access_token":"a","expires_in":9000000000000})",
         fails(LoftwingMultiError::invalidResponse())},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const OAuthTokenExchangeClient client(
            ScriptedHTTPTransport::answering(row.status, row.body));
        row.check([&] { return client.exchange("c", "v", provider(), now); });
    }
}

TEST(OAuthTokenExchangeClient, UnparsableTokenEndpointSendsNothing) {
    auto transport = ScriptedHTTPTransport::answering(200, "");
    auto settings = provider();
    settings.tokenEndpoint = "not a url";
    EXPECT_EQ(thrownError<LoftwingMultiError>(
                  [&] { OAuthTokenExchangeClient(transport).exchange("c", "v", settings, now); }),
              LoftwingMultiError::invalidData());
    EXPECT_TRUE(transport->requests().empty());
}

TEST(OAuthTokenExchangeClient, TransportFailurePassesThrough) {
    auto transport = std::make_shared<ScriptedHTTPTransport>(
        [](const HTTPRequest&, std::stop_token) -> HTTPResponse {
            throw TransportError(-1001, "timed out");
        });
    const auto error = thrownError<TransportError>(
        [&] { OAuthTokenExchangeClient(transport).exchange("c", "v", provider(), now); });
    EXPECT_EQ(error ? error->code() : 0, -1001);
}

}  // namespace
}  // namespace loftwing
