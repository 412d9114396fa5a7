// The loopback redirect with real local HTTP: the connector and the Chrome authenticator against
// the sandbox providers, the test playing the browser with plain HTTP requests.

#include "connection/ChromeOAuthWebAuthenticator.h"
#include "connection/OAuthAccountConnector.h"
#include "helpers/FakeWorkspace.h"
#include "helpers/MailTestFakes.h"
#include "helpers/SandboxServer.h"
#include "helpers/ScriptedHTTPTransport.h"
#include "oauth/CurlTransport.h"
#include "oauth/OAuthTokenExchangeClient.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <boost/json/serialize.hpp>
#include <boost/url/parse.hpp>

#include <future>
#include <memory>
#include <string>

namespace zevirudi {
namespace {

using loftwing::MailProvider;

// One GET as a browser would send it, to an address "http://host:port".
httplib::Result get(const std::string& origin, const std::string& target) {
    httplib::Client client(origin);
    client.set_connection_timeout(5);
    client.set_read_timeout(5);
    return client.Get(target);
}

TEST(LoopbackRedirectTest, OneMatchingRequestCompletesTheSignIn) {
    struct Row {
        const char* name;
        std::string configured;  // the redirect URI in the configuration, without a port
        std::string host;        // as the rewritten URI names it
    };
    const Row rows[] = {
        {"IPv6 loopback", "http://[::1]/callback", "[::1]"},
    };
    loftwing::test::SandboxServer sandbox;
    sandbox.createMailbox("google", "ann@example.com", "Ann", {{"subjectID", "111"}});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sandbox.changeSettings({{"redirectURIs", boost::json::array{row.configured.c_str()}}});
        auto configuration =
            loftwing::decodeAppConfiguration(boost::json::serialize(sandbox.productConfig()));
        configuration.google.redirectURI = row.configured;

        const auto curl = std::make_shared<loftwing::CurlTransport>();
        const auto transport = std::make_shared<loftwing::test::ScriptedHTTPTransport>(
            [curl](const loftwing::HTTPRequest& request, std::stop_token stop) {
                return curl->data(request, stop);
            });
        const auto workspace = std::make_shared<loftwing::test::FakeWorkspace>();
        const auto store = std::make_shared<loftwing::test::FakeAccountStore>();
        OAuthAccountConnector connector(configuration, store,
                                        std::make_shared<ChromeOAuthWebAuthenticator>(
                                            std::make_shared<OAuthCallbackRouter>(), workspace),
                                        transport);
        auto connecting = std::async(std::launch::async, [&] {
            return connector.connect(MailProvider::google, std::nullopt);
        });

        // The authorization request names the port the system chose.
        const std::string authorization = workspace->waitForOpened();
        const std::string redirectURI(
            (*boost::urls::parse_uri(authorization)->params().find("redirect_uri")).value);
        const auto redirect = boost::urls::parse_uri(redirectURI);
        ASSERT_TRUE(redirect);
        EXPECT_EQ(redirect->encoded_host(), row.host);
        EXPECT_GT(redirect->port_number(), 0);
        const std::string origin = "http://" + std::string(redirect->encoded_host_and_port());

        // The browser at the provider: consent is given at once and it is sent back.
        const auto consent = get(sandbox.baseURL(), authorization.substr(sandbox.baseURL().size()));
        ASSERT_TRUE(consent);
        ASSERT_EQ(consent->status, 302);
        const std::string location = consent->get_header_value("Location");
        ASSERT_TRUE(location.starts_with(redirectURI + "?"));

        const auto wrongPath = get(origin, "/favicon.ico");
        ASSERT_TRUE(wrongPath);
        EXPECT_EQ(wrongPath->status, 404);
        EXPECT_EQ(connecting.wait_for(std::chrono::seconds(0)), std::future_status::timeout);

        const auto page = get(origin, location.substr(origin.size()));
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
        EXPECT_NE(page->body.find("You can return to Zevirudi."), std::string::npos);

        const auto account = connecting.get();
        EXPECT_EQ(account.id, "google:111");
        ASSERT_EQ(store->allAccounts().size(), 1u);

        // The token request carried the same redirect URI (the sandbox also refuses any other).
        const auto requests = transport->requests();
        ASSERT_FALSE(requests.empty());
        EXPECT_EQ(requests.front().url, sandbox.baseURL() + "/google/oauth/token");
        EXPECT_NE(
            requests.front().body.find(loftwing::formEncodedBody({{"redirect_uri", redirectURI}})),
            std::string::npos)
            << requests.front().body;

        // Nothing listens once the redirect is in.
        const auto afterwards = get(origin, location.substr(origin.size()));
        EXPECT_FALSE(afterwards);
    }
}

}  // namespace
}  // namespace zevirudi
