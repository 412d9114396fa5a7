// The stand-in providers' behaviours that the product's integration tests rely on: each
// provider's error shape, refresh-token rotation and Gmail's paging (Graph's next link is never
// followed). Everything else about the sandbox shows in the tests of the code that talks to it.
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
        form.emplace("client_id", json::value_to<std::string>(
                                      sandbox.productConfig().at(provider).at("clientID")));
        if (provider == "microsoft") {
            form.emplace("scope", "offline_access https://graph.microsoft.com/Mail.Read");
        }
        return answerOf(client.Post("/" + provider + "/oauth/token", form));
    };

    const auto gmail = sandbox.createMailbox("google", "ann@example.com", "Ann");
    const auto graph = sandbox.createMailbox("microsoft", "bob@outlook.com", "Bob");
    const auto graphTokens = sandbox.issueTokens(graph);
    const auto revoked = sandbox.issueTokens(gmail);
    sandbox.revokeTokens(gmail);
    const auto gmailLive = sandbox.issueTokens(gmail);
    for (int i = 0; i < 3; ++i) {
        sandbox.addMessage(gmail, {{"text", "x"}});
    }
    sandbox.changeSettings({{"rotateRefreshTokens", true}});
    const auto rotated = refresh("microsoft", graphTokens.refreshToken);
    std::string nextGmailPage;

    struct Row {
        const char* name;
        std::function<Answer()> request;
        int status;
        // JSON pointer into the answer, and the value there.
        std::vector<std::pair<const char*, json::value>> expected;
    };
    const std::vector<Row> rows{
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
