#include "mail/GmailMailboxClient.h"

#include "helpers/CapturingLogSink.h"
#include "mail/MailboxClientTestSupport.h"

#include <gtest/gtest.h>

namespace loftwing {
namespace {

using namespace loftwing::test;

// The list and every fetch are built alike from the configured base; dot segments, which the HTTP
// stack would fold into the path before them, are never fetched.
TEST(GmailAddresses, ListAndFetchShareTheBaseAndRefuseDotSegments) {
    struct Row {
        const char* name;
        std::string base;
        std::string prefix;  // what every request address starts with
    };
    const Row rows[] = {
        {"host only", "https://gmail.example", "https://gmail.example/gmail/v1/users/me/messages"},
        {"host with a slash", "https://gmail.example/",
         "https://gmail.example/gmail/v1/users/me/messages"},
        {"base with a path", "https://proxy.example/mail",
         "https://proxy.example/mail/gmail/v1/users/me/messages"},
        {"base with a path and a slash", "https://proxy.example/mail/",
         "https://proxy.example/mail/gmail/v1/users/me/messages"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto log = CapturingLogSink::install();
        auto transport = std::make_shared<ScriptedHTTPTransport>(
            [](const HTTPRequest& request, std::stop_token) {
                if (request.url.find("format=full") == std::string::npos) {
                    return jsonResponse(
                        200, R"({"messages": [{"id": "."}, {"id": ".."}, {"id": "ab12"}]})");
                }
                return jsonResponse(200, gmailMessageJSON("ab12", "fine"));
            });
        RecordingSleep sleep;
        GmailMailboxClient client(transport, tokenManager(transport), sleep.function(), row.base);
        const auto messages = client.recentMessages(
            storedAccount("g1", MailProvider::google, "ana@gmail.com", farFuture), Timestamp{}, {});

        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].id, "g1:ab12");
        EXPECT_EQ(transport->urls(),
                  (std::vector<std::string>{row.prefix + "?q=after:0&maxResults=20",
                                            row.prefix + "/ab12?format=full"}));
        EXPECT_EQ(log->lines().size(), 2u);  // one line per refused id, naming the account
        for (const auto& line : log->lines()) {
            EXPECT_NE(line.find("g1"), std::string::npos) << line;
        }
    }
    setLogSink(nullptr);
}

}  // namespace
}  // namespace loftwing
