// The stand-in providers' behaviours that the product's integration tests rely on: each
// provider's error shape, refresh-token rotation and paging. Everything else about the sandbox
// shows in the tests of the product code that talks to it.
#include "helpers/SandboxServer.h"

#include <httplib.h>

#include <boost/json.hpp>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace loftwing::test {
namespace {

namespace json = boost::json;

struct Answer {
    int status = 0;
    json::value body;
};

Answer answerOf(const httplib::Result& result) {
    if (!result) {
        return {};
    }
    return {result->status, json::parse(result->body)};
}

TEST(SandboxProviders, ErrorShapesRotationAndPaging) {
    SandboxServer sandbox;
    httplib::Client client("127.0.0.1", sandbox.port());
    const auto get = [&](const std::string& path, const std::string& token) {
        return answerOf(client.Get(path, {{"Authorization", "Bearer " + token}}));
    };
    const auto refresh = [&](const std::string& provider, const std::string& refreshToken) {
        httplib::Params form{{"grant_type", "refresh_token"}, {"refresh_token", refreshToken}};
        form.emplace("client_id",
                     std::string(provider == "google" ? SandboxServer::googleClientID
                                                      : SandboxServer::microsoftClientID));
        if (provider == "microsoft") {
            form.emplace("scope", "offline_access https://graph.microsoft.com/Mail.Read");
        }
        return answerOf(client.Post("/" + provider + "/oauth/token", form));
    };

    const auto gmail = sandbox.createMailbox("google", "ann@example.com", "Ann");
    const auto graph = sandbox.createMailbox("microsoft", "bob@outlook.com", "Bob");
    const auto gmailTokens = sandbox.issueTokens(gmail);
    const auto graphTokens = sandbox.issueTokens(graph);
    const auto revoked = sandbox.issueTokens(gmail);
    sandbox.revokeTokens(gmail);
    const auto gmailLive = sandbox.issueTokens(gmail);
    for (int i = 0; i < 3; ++i) {
        const std::string subject = "s" + std::to_string(i);
        sandbox.addMessage(gmail, {{"subject", subject}, {"text", "x"}});
        sandbox.addMessage(graph, {{"subject", subject}, {"text", "x"}});
    }
    sandbox.changeSettings({{"rotateRefreshTokens", true}});
    const auto rotated = refresh("microsoft", graphTokens.refreshToken);
    std::string nextGmailPage, nextGraphPage;

    struct Row {
        const char* name;
        std::function<Answer()> request;
        int status;
        // JSON pointer into the answer, and the value there.
        std::vector<std::pair<const char*, json::value>> expected;
    };
    const std::vector<Row> rows{
        {"Gmail without a token: Google's API error",
         [&] { return get("/gmail/v1/users/me/messages?q=after:0", ""); },
         401,
         {{"/error/code", 401}, {"/error/status", "UNAUTHENTICATED"}}},
        {"queued Gmail rate limit: Google's reason",
         [&] {
             sandbox.setFault("gmail.list",
                              {json::object{{"status", 403}, {"reasons", {"rateLimitExceeded"}}}});
             return get("/gmail/v1/users/me/messages?q=after:0", gmailLive.accessToken);
         },
         403,
         {{"/error/errors/0/reason", "rateLimitExceeded"}}},
        {"queued Graph 503: Graph's error code",
         [&] {
             sandbox.setFault("graph.messages", {503});
             return get("/v1.0/me/mailFolders/inbox/messages", graphTokens.accessToken);
         },
         503,
         {{"/error/code", "ServiceNotAvailable"}}},
        {"revoked refresh token: OAuth's invalid_grant",
         [&] { return refresh("google", revoked.refreshToken); },
         400,
         {{"/error", "invalid_grant"}}},
        {"revoked access token on the profile: OAuth's shape",
         [&] { return get("/v1/userinfo", gmailTokens.accessToken); },
         401,
         {{"/error", "invalid_request"}}},
        {"rotation hands out a new refresh token", [&] { return rotated; }, 200, {}},
        {"the rotated-out refresh token is refused",
         [&] { return refresh("microsoft", graphTokens.refreshToken); },
         400,
         {{"/error", "invalid_grant"}}},
        {"Gmail's first page, newest first",
         [&] {
             auto answer =
                 get("/gmail/v1/users/me/messages?q=after:0&maxResults=2", gmailLive.accessToken);
             nextGmailPage = json::value_to<std::string>(answer.body.at("nextPageToken"));
             return answer;
         },
         200,
         {{"/resultSizeEstimate", 3}}},
        {"Gmail's last page",
         [&] {
             return get(
                 "/gmail/v1/users/me/messages?q=after:0&maxResults=2&pageToken=" + nextGmailPage,
                 gmailLive.accessToken);
         },
         200,
         {{"/messages/1", nullptr}, {"/nextPageToken", nullptr}}},
        {"Graph's first page links the next",
         [&] {
             auto answer =
                 get("/v1.0/me/mailFolders/inbox/messages?$top=2", graphTokens.accessToken);
             nextGraphPage = json::value_to<std::string>(answer.body.at("@odata.nextLink"));
             return answer;
         },
         200,
         {{"/value/0/subject", "s2"}, {"/value/1/subject", "s1"}}},
        {"Graph's last page links none",
         [&] {
             return get(nextGraphPage.substr(sandbox.baseURL().size()), graphTokens.accessToken);
         },
         200,
         {{"/value/0/subject", "s0"}, {"/@odata.nextLink", nullptr}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Answer answer = row.request();
        ASSERT_EQ(answer.status, row.status) << answer.body;
        for (const auto& [pointer, value] : row.expected) {
            boost::system::error_code missing;
            const json::value* found = answer.body.find_pointer(pointer, missing);
            EXPECT_EQ(found ? *found : json::value(nullptr), value) << pointer;
        }
    }
}

}  // namespace
}  // namespace loftwing::test
