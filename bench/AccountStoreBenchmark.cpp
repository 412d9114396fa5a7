// allAccounts() against a real GNOME Keyring. Run under tests/helpers/run-with-private-keyring
// (see bench/README.md). Besides the latency it reports the D-Bus round trips one call makes, as
// counted by dbus-monitor on the private bus.

#include "helpers/Process.h"
#include "storage/KeychainAccountStore.h"
#include "storage/SecretServiceKeychainStore.h"
#include "support/Time.h"

#include <benchmark/benchmark.h>
#include <gio/gio.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using loftwing::test::Process;

constexpr int kAccountCount = 5;

loftwing::StoredAccount benchAccount(int number) {
    const auto id = "google:bench-" + std::to_string(number);
    return loftwing::StoredAccount{
        loftwing::ConnectedAccount{id, loftwing::MailProvider::google,
                                   "user" + std::to_string(number) + "@example.com", "Bench User"},
        loftwing::OAuthTokenSet{std::string(180, 'a'), std::string(100, 'r'),
                                *loftwing::parseISO8601("2026-12-06T18:27:37Z"),
                                "https://www.googleapis.com/auth/gmail.readonly"},
    };
}

struct Fixture {
    std::shared_ptr<loftwing::SecretServiceKeychainStore> keychain =
        std::make_shared<loftwing::SecretServiceKeychainStore>("com.loftwing.multi.bench",
                                                               std::nullopt);
    loftwing::KeychainAccountStore accounts{keychain};

    Fixture() {
        for (int i = 0; i < kAccountCount; ++i) {
            accounts.save(benchAccount(i));
        }
    }
};

Fixture& fixture() {
    static Fixture instance;
    return instance;
}

// The fields of one `dbus-monitor --profile` line: type, time, serial, sender, destination,
// path, interface, member.
std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream stream(line);
    for (std::string field; std::getline(stream, field, '\t');) {
        out.push_back(field);
    }
    return out;
}

bool isCallFrom(const std::vector<std::string>& f, const std::string& sender) {
    return f.size() >= 8 && f[0] == "mc" && f[3] == sender;
}

void callBus(GDBusConnection* bus, const char* method) {
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
        nullptr, nullptr, G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, &error);
    if (reply != nullptr) {
        g_variant_unref(reply);
    }
    if (error != nullptr) {
        g_error_free(error);
    }
}

// Method calls this process sends while `work` runs `repetitions` times, per repetition; -1 when
// the monitor could not be used. Two marker calls to the bus itself fence the measured span.
double methodCallsPerRepetition(const std::function<void()>& work, int repetitions) {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (bus == nullptr) {
        g_error_free(error);
        return -1;
    }
    const std::string self = g_dbus_connection_get_unique_name(bus);
    Process monitor({"dbus-monitor", "--session", "--profile"});

    bool ready = false;
    for (int attempt = 0; attempt < 50 && !ready; ++attempt) {
        callBus(bus, "GetId");
        while (auto line = monitor.readLine(100ms)) {
            const auto f = fields(*line);
            if (isCallFrom(f, self) && f[7] == "GetId") {
                ready = true;
                break;
            }
        }
    }
    if (!ready) {
        g_object_unref(bus);
        return -1;
    }

    for (int i = 0; i < repetitions; ++i) {
        work();
    }
    callBus(bus, "ListNames");
    g_object_unref(bus);

    int calls = 0;
    while (auto line = monitor.readLine(10s)) {
        const auto f = fields(*line);
        if (!isCallFrom(f, self)) {
            continue;
        }
        if (f[7] == "ListNames") {
            return static_cast<double>(calls) / repetitions;
        }
        ++calls;
    }
    return -1;
}

void BM_AllAccountsFiveAccounts(benchmark::State& state) {
    auto& store = fixture().accounts;
    for (auto _ : state) {
        auto listed = store.allAccounts();
        benchmark::DoNotOptimize(listed);
        if (listed.size() != kAccountCount) {
            state.SkipWithError("the keyring did not list the five accounts");
            return;
        }
    }
    static const double roundTrips =
        methodCallsPerRepetition([&store] { benchmark::DoNotOptimize(store.allAccounts()); }, 10);
    state.counters["dbus_round_trips"] = roundTrips;
}
BENCHMARK(BM_AllAccountsFiveAccounts)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// One item read, the unit allAccounts() is made of (one index read plus one read per account).
void BM_ReadOneItem(benchmark::State& state) {
    auto& keychain = *fixture().keychain;
    for (auto _ : state) {
        auto bytes = keychain.read("account:google:bench-0");
        benchmark::DoNotOptimize(bytes);
    }
    static const double roundTrips = methodCallsPerRepetition(
        [&keychain] { benchmark::DoNotOptimize(keychain.read("account:google:bench-0")); }, 10);
    state.counters["dbus_round_trips"] = roundTrips;
}
BENCHMARK(BM_ReadOneItem)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
    if (std::getenv("ZEVIRUDI_TEST_KEYRING_PASSWORD") == nullptr) {
        std::cerr << "Run under tests/helpers/run-with-private-keyring so that the benchmark "
                     "never touches your own keyring.\n";
        return 2;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
