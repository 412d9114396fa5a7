// The token manager against the loopback sandbox providers, over the real transport.

#include "helpers/MailTestFakes.h"
#include "helpers/SandboxServer.h"
#include "helpers/ThrownError.h"
#include "oauth/AppConfiguration.h"
#include "oauth/CurlTransport.h"
#include "oauth/OAuthTokenManager.h"
#include "records/Errors.h"

#include <gtest/gtest.h>
#include <boost/json/serialize.hpp>

#include <future>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using loftwing::test::SandboxServer;
using test::thrownError;

TEST(OAuthSandbox, RefreshRotationSingleFlightAndRevocation) {
    SandboxServer sandbox;
    const auto id = sandbox.createMailbox("microsoft", "bob@contoso.example", "Bob");
    const auto issued = sandbox.issueTokens(id, 0);  // already expired
    const auto configuration =
        decodeAppConfiguration(boost::json::serialize(sandbox.productConfig()));
    const StoredAccount stored{{id, MailProvider::microsoft, "bob@contoso.example", "Bob"},
                               {issued.accessToken, issued.refreshToken, currentTime(), "x"}};
    auto store = std::make_shared<test::FakeAccountStore>(std::vector<StoredAccount>{stored});
    OAuthTokenManager manager(store, std::make_shared<CurlTransport>(),
                              tokenManagerConfigurations(configuration));
    sandbox.resetCounters();

    constexpr int callers = 8;
    std::vector<std::future<std::string>> tokens;
    for (int i = 0; i < callers; ++i) {
        tokens.push_back(std::async(std::launch::async,
                                    [&] { return manager.accessToken(stored, currentTime()); }));
    }
    const std::string first = tokens.front().get();
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        EXPECT_EQ(tokens[i].get(), first);
    }
    EXPECT_EQ(sandbox.counters().at("requests").at("microsoft.oauth.token"), 1);
    ASSERT_EQ(store->allAccounts().size(), 1u);
    const auto saved = store->allAccounts().front();
    EXPECT_EQ(saved.tokens.accessToken, first);
    EXPECT_NE(saved.tokens.refreshToken, issued.refreshToken);  // rotated

    // The refreshed token reads mail.
    CurlTransport transport;
    HTTPRequest me;
    me.url = configuration.profileURL(MailProvider::microsoft);
    me.headers = {{"Authorization", "Bearer " + first}};
    EXPECT_EQ(transport.data(me).statusCode, 200);

    sandbox.revokeTokens(id);
    EXPECT_EQ(thrownError<LoftwingMultiError>(
                  [&] { manager.accessToken(saved, saved.tokens.expiresAt); }),
              LoftwingMultiError::reconnectRequired());
}

}  // namespace
}  // namespace loftwing
