// What the monitor tells the log about a failed account: the kind and its codes, keyed by the
// account id, and nothing from the account or the failure's own text.

#include "monitor/MailboxMonitor.h"

#include "helpers/CapturingLogSink.h"
#include "helpers/MailTestFakes.h"
#include "records/Errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <exception>
#include <functional>
#include <string>

namespace loftwing {
namespace {

using test::CapturingLogSink;
using test::FakeAccountStore;
using test::ScriptedMailboxClient;
using test::storedAccount;

TEST(MailboxMonitorLog, FailuresAreLoggedWithTheirCodesAndNoAccountText) {
    const struct {
        const char* name;
        std::function<void()> fail;
        std::string line;
    } rows[] = {
        {"transport code", [] { throw TransportError(-1001, "timed out at secret.example"); },
         "monitor: account google:1: network_-1001 (transport error -1001)"},
        {"HTTP status", [] { throw LoftwingMultiError::httpStatus(503); },
         "monitor: account google:1: http_503 (The mail provider returned HTTP status 503.)"},
        {"keyring status", [] { throw LoftwingMultiError::keychainStatus(4); },
         "monitor: account google:1: local_error (Keychain returned status 4.)"},
        {"JSON key", [] { throw JsonDecodingError("GmailMessage: \"payload\" is missing."); },
         "monitor: account google:1: invalid_mail_data (JSON: GmailMessage: \"payload\" is "
         "missing.)"},
        {"anything else", [] { throw std::runtime_error("secret.example said no"); },
         "monitor: account google:1: unavailable (unexpected St13runtime_error)"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto log = CapturingLogSink::install();
        auto client = std::make_shared<ScriptedMailboxClient>(
            MailProvider::google,
            [&](const StoredAccount&, Timestamp,
                const std::unordered_set<std::string>&) -> std::vector<MailMessage> {
                row.fail();
                return {};
            });
        MailboxMonitor monitor(
            std::make_shared<FakeAccountStore>(std::vector<StoredAccount>{
                storedAccount("google:1", MailProvider::google, "person@secret.example")}),
            {client});
        monitor.poll(WatchRequest("poll", "chrome-extension://abc/", 0, {}));
        const auto lines = log->lines();
        EXPECT_EQ(lines, std::vector<std::string>{row.line});
        for (const auto& line : lines) {
            EXPECT_THAT(line, ::testing::Not(::testing::HasSubstr("secret.example")));
        }
    }
    setLogSink(nullptr);
}

}  // namespace
}  // namespace loftwing
