// The monitor with both real clients, the real token manager and the curl transport, against the
// loopback sandbox providers: two Gmail mailboxes and one Outlook mailbox.

#include "helpers/MailTestFakes.h"
#include "helpers/SandboxServer.h"
#include "helpers/ScriptedHTTPTransport.h"
#include "mail/GmailMailboxClient.h"
#include "mail/MicrosoftMailboxClient.h"
#include "monitor/MailboxMonitor.h"
#include "oauth/AppConfiguration.h"
#include "oauth/CurlTransport.h"
#include "oauth/OAuthTokenManager.h"

#include <gtest/gtest.h>
#include <boost/json/serialize.hpp>

#include <algorithm>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using loftwing::test::SandboxServer;
using test::FakeAccountStore;
using test::RecordingSleep;

std::int64_t millisecondsNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(currentTime().time_since_epoch())
        .count();
}

struct SandboxMailboxes {
    SandboxMailboxes() {
        ana = sandbox.createMailbox("google", "ana@gmail.example", "Ana", {{"subjectID", "111"}});
        bo = sandbox.createMailbox("google", "bo@gmail.example", "Bo", {{"subjectID", "222"}});
        max =
            sandbox.createMailbox("microsoft", "max@outlook.example", "Max", {{"subjectID", "m3"}});
        std::vector<StoredAccount> accounts;
        for (const auto& [id, provider, email] :
             {std::tuple{ana, MailProvider::google, "ana@gmail.example"},
              std::tuple{bo, MailProvider::google, "bo@gmail.example"},
              std::tuple{max, MailProvider::microsoft, "max@outlook.example"}}) {
            const auto tokens = sandbox.issueTokens(id);
            accounts.push_back(
                StoredAccount{ConnectedAccount{id, provider, email, {}},
                              OAuthTokenSet{tokens.accessToken,
                                            tokens.refreshToken,
                                            currentTime() + std::chrono::seconds(tokens.expiresIn),
                                            {}}});
        }
        store = std::make_shared<FakeAccountStore>(accounts);
        auto transport = std::make_shared<CurlTransport>();
        const auto configuration =
            decodeAppConfiguration(boost::json::serialize(sandbox.productConfig()));
        auto tokenManager = std::make_shared<OAuthTokenManager>(
            store, transport, tokenManagerConfigurations(configuration));
        monitor = std::make_unique<MailboxMonitor>(
            store, std::vector<std::shared_ptr<MailboxClient>>{
                       std::make_shared<GmailMailboxClient>(transport, tokenManager,
                                                            sleep.function(), sandbox.baseURL()),
                       std::make_shared<MicrosoftMailboxClient>(transport, tokenManager,
                                                                sandbox.baseURL())});
    }

    std::string add(const std::string& account, boost::json::object description) {
        return sandbox.addMessage(account, description);
    }

    WatchResponse poll(std::vector<std::string> seen = {}) {
        return monitor->poll(WatchRequest("poll", "chrome-extension://x/", start, std::move(seen)));
    }

    SandboxServer sandbox;
    RecordingSleep sleep;
    std::string ana, bo, max;
    std::shared_ptr<FakeAccountStore> store;
    std::unique_ptr<MailboxMonitor> monitor;
    std::int64_t start = millisecondsNow() - 60'000;
};

std::vector<std::string> idsOf(const WatchResponse& response) {
    std::vector<std::string> ids;
    for (const auto& message : response.messages) {
        ids.push_back(message.id);
    }
    return ids;
}

TEST(MailboxMonitorSandbox, ReadsEveryMailboxThenOnlyWhatIsNew) {
    SandboxMailboxes mail;
    const auto now = millisecondsNow();
    const auto first = mail.add(
        mail.ana, {{"from", "Acme <no-reply@acme.example>"},
                   {"subject", "Your code"},
                   {"text", "Code 123456"},
                   {"html", "<p>Code <b>123456</b></p><SCRIPT src=x>t()</SCRIPT><!-- c -->"},
                   {"authenticationResults", {"mx.google.com; dkim=pass; spf=pass"}},
                   {"attachment", true},
                   {"receivedAt", now - 3000}});
    const auto second =
        mail.add(mail.bo, {{"text", "Link https://b.example/x"}, {"receivedAt", now - 2000}});
    const auto third =
        mail.add(mail.max, {{"from", "Bank <alerts@bank.example>"},
                            {"subject", "Sign-in code"},
                            {"html", "<p>Outlook code 654321</p><script>x()</script>"},
                            {"authenticationResults", {"spf=fail", "dmarc=pass"}},
                            {"receivedAt", now - 1000}});
    mail.add(mail.ana, {{"text", "too old"}, {"receivedAt", mail.start - 120'000}});

    const auto response = mail.poll();
    EXPECT_TRUE(response.ok);
    EXPECT_TRUE(response.warnings.empty());
    ASSERT_EQ(response.accountChecks.size(), 3u);
    for (const auto& check : response.accountChecks) {
        EXPECT_EQ(check.status, AccountCheck::Status::ready) << check.accountID;
    }
    ASSERT_EQ(idsOf(response),
              (std::vector<std::string>{mail.max + ":" + third, mail.bo + ":" + second,
                                        mail.ana + ":" + first}));
    // Each provider's shape read through to the message: nested parts, every authentication
    // header, the sanitizer, the provider's date.
    const auto& gmail = response.messages[2];
    EXPECT_EQ(gmail.sender, "Acme <no-reply@acme.example>");
    EXPECT_EQ(gmail.subject, "Your code");
    EXPECT_EQ(gmail.text, "\n\nCode 123456");
    EXPECT_EQ(gmail.html, "\n\n<p>Code <b>123456</b></p>  ");
    EXPECT_TRUE(gmail.senderAuthenticated);
    EXPECT_EQ(gmail.receivedAt, Timestamp{std::chrono::milliseconds(now - 3000)});
    const auto& outlook = response.messages[0];
    EXPECT_EQ(outlook.sender, "alerts@bank.example");
    EXPECT_EQ(outlook.subject, "Sign-in code");
    EXPECT_EQ(outlook.text, "Outlook code 654321 x()");  // the preview, not the body
    EXPECT_EQ(outlook.html, "<p>Outlook code 654321</p> ");
    EXPECT_TRUE(outlook.senderAuthenticated);
    EXPECT_EQ(outlook.receivedAt, Timestamp{std::chrono::milliseconds(now - 1000)});

    EXPECT_TRUE(mail.poll(idsOf(response)).messages.empty());
}

}  // namespace
}  // namespace loftwing
