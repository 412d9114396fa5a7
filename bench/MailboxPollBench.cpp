// One MailboxMonitor poll of two Gmail accounts with 20 new messages each, against the sandbox
// with 20 ms injected on every provider request, beside the critical path the poll must wait
// for: each account needs a token refresh (its access token is due), one list page and five
// batches of four fetches, one after the other; the accounts run side by side. Also the TCP
// connections the polls open to the one provider host.

#include "helpers/InMemoryKeychainDataStore.h"
#include "helpers/SandboxServer.h"
#include "mail/GmailMailboxClient.h"
#include "mail/RetrySleep.h"
#include "monitor/MailboxMonitor.h"
#include "oauth/AppConfiguration.h"
#include "oauth/CurlTransport.h"
#include "oauth/OAuthTokenManager.h"
#include "storage/KeychainAccountStore.h"

#include <boost/json/serialize.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::int64_t latency = 20;
constexpr int messagesPerAccount = 20;
// Token refresh, list page, five fetch batches.
constexpr double criticalPathMilliseconds = latency * (1 + 1 + messagesPerAccount / 4);

std::int64_t connections(loftwing::test::SandboxServer& sandbox) {
    return sandbox.counters().at("connections").as_object().at("total").as_int64();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 15;
    loftwing::test::SandboxServer sandbox;
    const auto configuration =
        loftwing::decodeAppConfiguration(boost::json::serialize(sandbox.productConfig()));
    auto store = std::make_shared<loftwing::KeychainAccountStore>(
        std::make_shared<loftwing::test::InMemoryKeychainDataStore>());
    auto transport = std::make_shared<loftwing::CurlTransport>();
    auto tokenManager = std::make_shared<loftwing::OAuthTokenManager>(
        store, transport, loftwing::tokenManagerConfigurations(configuration));
    auto gmail = std::make_shared<loftwing::GmailMailboxClient>(
        transport, tokenManager, loftwing::standardRetrySleep(),
        configuration.apiBaseURL(loftwing::MailProvider::google));
    loftwing::MailboxMonitor monitor(store, {gmail});

    std::vector<std::string> ids;
    for (const char* email : {"first@example.com", "second@example.com"}) {
        const auto id = sandbox.createMailbox("google", email);
        ids.push_back(id);
        for (int i = 0; i < messagesPerAccount; ++i) {
            sandbox.addMessage(id, {{"from", "codes@example.com"},
                                    {"subject", "Code " + std::to_string(i)},
                                    {"text", "Your code is " + std::to_string(100000 + i)}});
        }
    }
    for (const char* endpoint : {"google.oauth.token", "gmail.list", "gmail.get"}) {
        sandbox.setFault(endpoint, {}, latency);
    }

    std::vector<double> samples;
    std::int64_t connectionsOpened = 0;
    for (int round = 0; round < rounds; ++round) {
        // Every round starts with due tokens, so the refresh is on the critical path too.
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const auto tokens = sandbox.issueTokens(ids[i], 0);
            store->save(
                {{ids[i], loftwing::MailProvider::google,
                  i == 0 ? "first@example.com" : "second@example.com", std::nullopt},
                 {tokens.accessToken, tokens.refreshToken, loftwing::currentTime(), std::nullopt}});
        }
        sandbox.resetCounters();
        const auto started = Clock::now();
        const auto response =
            monitor.poll(loftwing::WatchRequest("poll", "https://a.example", 0, {}));
        samples.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - started).count());
        connectionsOpened += connections(sandbox);
        if (!response.ok || response.messages.size() != 2 * messagesPerAccount) {
            std::fprintf(stderr, "poll failed: %zu messages\n", response.messages.size());
            return 1;
        }
    }
    std::sort(samples.begin(), samples.end());
    const double median = samples[samples.size() / 2];
    std::printf("rounds %d, 2 Gmail accounts x %d new messages, %lld ms per request\n", rounds,
                messagesPerAccount, static_cast<long long>(latency));
    std::printf("poll median %.1f ms (min %.1f, max %.1f); critical path %.0f ms; ratio %.3f\n",
                median, samples.front(), samples.back(), criticalPathMilliseconds,
                median / criticalPathMilliseconds);
    std::printf("TCP connections opened per poll (after the first): %.2f\n",
                static_cast<double>(connectionsOpened) / rounds);
    return 0;
}
