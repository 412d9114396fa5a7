// Twenty sequential token refreshes through OAuthTokenManager and CurlTransport against the
// sandbox's Google token endpoint with 20 ms of injected latency: the wall time per refresh beside
// the 20 ms floor, and how many connections the refreshes opened. For comparison, the same
// requests from a client that opens a new connection for each, interleaved in the same run.

#include "helpers/SandboxServer.h"
#include "oauth/AppConfiguration.h"
#include "oauth/CurlTransport.h"
#include "oauth/OAuthTokenManager.h"

#include <httplib.h>
#include <boost/json/serialize.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class OneAccountStore : public loftwing::AccountStore {
  public:
    std::vector<loftwing::StoredAccount> allAccounts() override {
        std::lock_guard lock(mutex_);
        return {latest_};
    }
    void save(const loftwing::StoredAccount& account) override {
        std::lock_guard lock(mutex_);
        latest_ = account;
    }
    void remove(const std::string&) override {}

  private:
    std::mutex mutex_;
    loftwing::StoredAccount latest_;
};

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void report(const char* name, std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (const double s : samples) {
        sum += s;
    }
    std::printf("%-34s median %6.2f ms  mean %6.2f ms  min %6.2f ms  max %6.2f ms\n", name,
                samples[samples.size() / 2], sum / static_cast<double>(samples.size()),
                samples.front(), samples.back());
}

std::int64_t connections(loftwing::test::SandboxServer& sandbox, const char* family) {
    const auto counters = sandbox.counters();
    const auto* count =
        counters.at("connections").as_object().at("families").as_object().if_contains(family);
    return count ? count->as_int64() : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
    const std::int64_t latency = 20;
    loftwing::test::SandboxServer sandbox;
    const auto id = sandbox.createMailbox("google", "bench@example.com");
    const auto issued = sandbox.issueTokens(id, 0);
    sandbox.changeSettings({{"tokenLifetimeSeconds", 3600}});
    sandbox.setFault("google.oauth.token", {}, latency);
    const auto configuration =
        loftwing::decodeAppConfiguration(boost::json::serialize(sandbox.productConfig()));
    const auto settings = loftwing::tokenManagerConfigurations(configuration);

    auto store = std::make_shared<OneAccountStore>();
    loftwing::OAuthTokenManager manager(store, std::make_shared<loftwing::CurlTransport>(),
                                        settings);
    loftwing::StoredAccount account{
        {id, loftwing::MailProvider::google, "bench@example.com", {}},
        {issued.accessToken, issued.refreshToken, loftwing::currentTime(), std::nullopt}};
    // The manager refreshes what the store holds.
    store->save(account);
    const std::string form = "client_id=" + settings.at(loftwing::MailProvider::google).clientID +
                             "&grant_type=refresh_token&refresh_token=" + issued.refreshToken;

    // Warm-up outside the counts: the first refresh pays the connection set-up.
    auto now = loftwing::currentTime();
    manager.accessToken(account, now);
    sandbox.resetCounters();

    std::vector<double> pooled;
    std::vector<double> fresh;
    std::int64_t pooledConnections = 0;
    std::int64_t freshConnections = 0;
    for (int i = 0; i < rounds; ++i) {
        // A due token every round: the clock of the call moves past the last expiry.
        now += std::chrono::hours(2);
        std::int64_t before = connections(sandbox, "google.oauth");
        auto started = Clock::now();
        manager.accessToken(account, now);
        pooled.push_back(milliseconds(Clock::now() - started));
        pooledConnections += connections(sandbox, "google.oauth") - before;

        before = connections(sandbox, "google.oauth");
        started = Clock::now();
        httplib::Client client("127.0.0.1", sandbox.port());
        const auto answer =
            client.Post("/google/oauth/token", form, "application/x-www-form-urlencoded");
        fresh.push_back(milliseconds(Clock::now() - started));
        if (!answer || answer->status != 200) {
            std::fprintf(stderr, "the comparison request failed\n");
            return 1;
        }
        client.stop();
        freshConnections += connections(sandbox, "google.oauth") - before;
    }

    std::printf("%d sequential refreshes, %lld ms injected latency (the floor)\n", rounds,
                static_cast<long long>(latency));
    report("OAuthTokenManager + CurlTransport", pooled);
    report("new connection per request", fresh);
    std::printf(
        "connections opened: %lld by the token manager (after one warm-up refresh), %lld by "
        "the comparison client\n",
        static_cast<long long>(pooledConnections), static_cast<long long>(freshConnections));
    return 0;
}
