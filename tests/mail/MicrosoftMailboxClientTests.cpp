#include "mail/MicrosoftMailboxClient.h"

#include "helpers/ThrownError.h"
#include "mail/MailboxClientTestSupport.h"

#include <gtest/gtest.h>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using namespace loftwing::test;

const std::string graphURL =
    "https://graph.microsoft.com/v1.0/me/mailFolders/inbox/messages?$top=20&$orderby="
    "receivedDateTime%20desc&$select=id,receivedDateTime,subject,from,body,bodyPreview,"
    "internetMessageHeaders";

std::string graphMessage(const std::string& id, const std::string& received) {
    return R"({"id": ")" + id + R"(", "receivedDateTime": ")" + received +
           R"(", "subject": "s", "bodyPreview": "Code 1"})";
}

TEST(MicrosoftMailboxClient, ReadsOnePageAndFiltersLocally) {
    const Timestamp since = Timestamp{} + 1'796'581'657s;  // 2026-12-06T18:27:37Z
    struct Row {
        const char* name;
        HTTPResponse answer;
        std::unordered_set<std::string> excluding;
        std::vector<std::string> expectedIDs;
        std::optional<LoftwingMultiError> error;
    };
    const Row rows[] = {
        {"one second early is left out, exactly at the start is kept",
         jsonResponse(200, R"({"value": [)" + graphMessage("late", "2026-12-06T18:27:38Z") + "," +
                               graphMessage("exact", "2026-12-06T18:27:37Z") + "," +
                               graphMessage("early", "2026-12-06T18:27:36Z") + "]}"),
         {},
         {"o1:late", "o1:exact"},
         std::nullopt},
        {"seen message left out",
         jsonResponse(200, R"({"value": [)" + graphMessage("seen", "2026-12-06T18:30:00Z") + "," +
                               graphMessage("new", "2026-12-06T18:29:00Z") + "]}"),
         {"o1:seen"},
         {"o1:new"},
         std::nullopt},
        {"unparsable date left out, next page link ignored",
         jsonResponse(200, R"({"value": [)" + graphMessage("spaced", "2026-12-06 18:30:00Z") + "," +
                               graphMessage("ok", "2026-12-06T18:30:00.1234567Z") +
                               R"(], "@odata.nextLink": "https://graph.microsoft.com/next"})"),
         {},
         {"o1:ok"},
         std::nullopt},
        {"429 fails at once", jsonResponse(429, "{}"), {}, {}, LoftwingMultiError::httpStatus(429)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto transport = std::make_shared<ScriptedHTTPTransport>(
            [&](const HTTPRequest&, std::stop_token) { return row.answer; });
        const MicrosoftMailboxClient client(transport, tokenManager(transport));
        const auto account =
            storedAccount("o1", MailProvider::microsoft, "max@outlook.com", farFuture);
        if (row.error) {
            EXPECT_EQ(thrownError<LoftwingMultiError>(
                          [&] { client.recentMessages(account, since, row.excluding); }),
                      *row.error);
        } else {
            std::vector<std::string> ids;
            for (const auto& message : client.recentMessages(account, since, row.excluding)) {
                ids.push_back(message.id);
                EXPECT_EQ(message.provider, MailProvider::microsoft);
                EXPECT_EQ(message.accountEmail, "max@outlook.com");
            }
            EXPECT_EQ(ids, row.expectedIDs);
        }
        const auto requests = transport->requests();
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].url, graphURL);
        EXPECT_EQ(requests[0].headers,
                  (HTTPHeaders{{"Authorization", "Bearer access-max@outlook.com"},
                               {"Accept", "application/json"}}));
        EXPECT_EQ(requests[0].timeout, 60s);
    }
}

TEST(MicrosoftMailboxClient, BodiesThatDoNotDecodeFail) {
    auto transport = std::make_shared<ScriptedHTTPTransport>(
        [](const HTTPRequest&, std::stop_token) { return jsonResponse(200, R"({"values": []})"); });
    const MicrosoftMailboxClient client(transport, tokenManager(transport));
    EXPECT_THROW(client.recentMessages(
                     storedAccount("o1", MailProvider::microsoft, "max@outlook.com", farFuture),
                     Timestamp{}, {}),
                 JsonDecodingError);
}

}  // namespace
}  // namespace loftwing
