// Against a real gnome-keyring-daemon on a private session bus (run under
// tests/helpers/run-with-private-keyring): the store's own items, items other programs wrote, no
// bus, a locked collection, concurrent and killed writers, a daemon that freezes or dies.

#include "helpers/CapturingLogSink.h"
#include "helpers/PrivateKeyring.h"
#include "helpers/Process.h"
#include "helpers/ThrownError.h"
#include "records/Errors.h"
#include "storage/KeychainAccountStore.h"
#include "storage/SecretServiceKeychainStore.h"
#include "support/Time.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace loftwing {
namespace {

using test::thrownError;

using namespace std::chrono_literals;
using test::Process;

std::string probeOutcome(const LoftwingMultiError& error) {
    return "error " + std::to_string(static_cast<int>(error.errorCase())) + " " +
           std::to_string(error.keychainStatusCode());
}

StoredAccount makeAccount(const std::string& id) {
    return StoredAccount{
        ConnectedAccount{id, MailProvider::microsoft, id + "@example.com", "Name " + id},
        OAuthTokenSet{"access-" + id, "refresh-" + id, *parseISO8601("2026-12-06T18:27:37Z"),
                      "Mail.Read offline_access"},
    };
}

// One line of a probe run in its own process with the given environment changes.
std::string runProbe(const std::vector<std::string>& arguments,
                     const Process::EnvironmentChanges& environment = {}) {
    std::vector<std::string> argv{KEYRING_PROBE_PATH};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    Process probe(argv, {.environment = environment});
    auto line = probe.readLine(20s);
    EXPECT_EQ(probe.wait(20s), 0);
    return line.value_or("(no output)");
}

constexpr const char* sessionCollection = "/org/freedesktop/secrets/collection/session";

// An item as secret-tool writes it: no schema attribute, our label or not, in any collection.
void storeWithSecretTool(const std::string& service, const std::string& key,
                         const std::string& bytes, const std::string& collection) {
    const char* script =
        "printf %s \"$0\" | secret-tool store --label=x ${1:+--collection=$1} service \"$2\" "
        "account \"$3\" accessGroup ''";
    Process store({"/bin/sh", "-c", script, bytes, collection, service, key});
    store.readToEnd(10s);
    ASSERT_EQ(store.wait(10s), 0);
}

// What secret-tool lists for the items of `key`: label, schema and secret of each.
std::string listingOf(const std::string& service, const std::string& key) {
    Process search(
        {"secret-tool", "search", "--all", "service", service, "account", key, "accessGroup", ""});
    const std::string listing = search.readToEnd(10s);
    EXPECT_EQ(search.wait(10s), 0);
    return listing;
}

std::vector<std::string> secretsOf(const std::string& service, const std::string& key) {
    const std::string listing = listingOf(service, key);
    std::vector<std::string> secrets;
    for (auto at = listing.find("secret = "); at != std::string::npos;
         at = listing.find("secret = ", at + 1)) {
        const auto start = at + 9;
        secrets.push_back(listing.substr(start, listing.find('\n', start) - start));
    }
    return secrets;
}

class SecretServiceKeyringTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::runsWithPrivateKeyring()) {
            GTEST_SKIP() << "needs tests/helpers/run-with-private-keyring";
        }
        ASSERT_FALSE(test::defaultCollectionIsLocked());
        // Each test uses a service of its own, so tests never see each other's items.
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        service = std::string("com.loftwing.multi.test.") + info->name();
    }

    void TearDown() override {
        if (test::runsWithPrivateKeyring() && test::defaultCollectionIsLocked()) {
            test::unlockDefaultCollection();
        }
    }

    std::string service;
};

TEST_F(SecretServiceKeyringTest, SavesReadsReplacesAndRemovesItems) {
    SecretServiceKeychainStore store(service, std::nullopt);
    EXPECT_EQ(store.read("account:x"), std::nullopt);
    store.remove("account:x");

    std::string everyByte;
    for (int value = 255; value >= 0; --value) {
        everyByte.push_back(static_cast<char>(value));
    }
    const std::vector<std::pair<const char*, std::string>> rows = {
        {"first", "first"},
        {"empty", ""},
        {"every byte value, NUL included", everyByte},
        {"64 KiB", std::string(65536, 'z')},
    };
    for (const auto& [name, bytes] : rows) {
        SCOPED_TRACE(name);
        store.save(bytes, "account:x");
        EXPECT_EQ(store.read("account:x"), bytes);
    }
    const auto listing = listingOf(service, "account:x");
    EXPECT_THAT(listing, ::testing::HasSubstr("label = Zevirudi: account:x"));
    EXPECT_THAT(listing, ::testing::HasSubstr("schema = com.loftwing.multi.KeychainItem"));

    store.remove("account:x");
    EXPECT_EQ(store.read("account:x"), std::nullopt);
    store.remove("account:x");
}

TEST_F(SecretServiceKeyringTest, AccessGroupsAreSeparateItems) {
    SecretServiceKeychainStore noGroup(service, std::nullopt);
    SecretServiceKeychainStore team(service, "team");
    SecretServiceKeychainStore teamPadded(service, "  team\n");
    SecretServiceKeychainStore other(service, "other");

    noGroup.save("no group", "account-index");
    team.save("team", "account-index");

    EXPECT_EQ(noGroup.read("account-index"), "no group");
    EXPECT_EQ(team.read("account-index"), "team");
    EXPECT_EQ(teamPadded.read("account-index"), "team");
    EXPECT_EQ(other.read("account-index"), std::nullopt);

    other.remove("account-index");
    team.remove("account-index");
    EXPECT_EQ(team.read("account-index"), std::nullopt);
    EXPECT_EQ(noGroup.read("account-index"), "no group");

    // Many keys at once read as each would alone: the group's own items, in the order asked for.
    noGroup.save("first", "account:a");
    team.save("team a", "account:a");
    noGroup.save("second", "account:b");
    EXPECT_EQ(
        noGroup.readMany({"account:b", "account:missing", "account:a", "account-index"}),
        (std::vector<std::optional<std::string>>{"second", std::nullopt, "first", "no group"}));
    EXPECT_EQ(team.readMany({"account:a", "account:b"}),
              (std::vector<std::optional<std::string>>{"team a", std::nullopt}));
    EXPECT_EQ(other.readMany({}), std::vector<std::optional<std::string>>{});
}

TEST_F(SecretServiceKeyringTest, CreatingTheStoresOpensNoConnection) {
    EXPECT_EQ(runProbe({"construct", service, "-"}), "sockets 0");
    // The same count sees the connection that the first operation opens.
    EXPECT_EQ(runProbe({"construct-and-read", service, "-"}), "sockets 1");
}

TEST_F(SecretServiceKeyringTest, WithoutASecretServiceTheKeyringIsNotAvailable) {
    SecretServiceKeychainStore store(service, std::nullopt);
    store.save("kept", "account:x");

    // A bus that knows no services to start, so nothing answers for org.freedesktop.secrets.
    const auto scratch =
        std::filesystem::temp_directory_path() / ("zevirudi-no-bus-" + std::to_string(getpid()));
    std::filesystem::create_directories(scratch);
    std::ofstream(scratch / "bus.conf")
        << R"(<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>)";
    Process bus({"dbus-daemon", "--config-file=" + (scratch / "bus.conf").string(), "--nofork",
                 "--print-address=1"});
    const auto address = bus.readLine(10s);
    ASSERT_TRUE(address);

    const std::vector<std::pair<const char*, Process::EnvironmentChanges>> environments = {
        {"disabled: address", {{"DBUS_SESSION_BUS_ADDRESS", "disabled:"}}},
        {"no address and nothing to autolaunch",
         {{"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
          {"DISPLAY", std::nullopt},
          {"XDG_RUNTIME_DIR", scratch.string()}}},
        {"a bus without a Secret Service", {{"DBUS_SESSION_BUS_ADDRESS", *address}}},
    };
    const auto expected = probeOutcome(LoftwingMultiError::keychainNotAvailable());
    for (const auto& [name, environment] : environments) {
        SCOPED_TRACE(name);
        EXPECT_EQ(runProbe({"read", service, "account:x"}, environment), expected);
        EXPECT_EQ(runProbe({"save", service, "account:x", "lost"}, environment), expected);
        EXPECT_EQ(runProbe({"remove", service, "account:x"}, environment), expected);
    }
    bus.signal(SIGTERM);
    EXPECT_TRUE(bus.wait(10s));
    std::filesystem::remove_all(scratch);
    EXPECT_EQ(store.read("account:x"), "kept");
}

TEST_F(SecretServiceKeyringTest, ALockedKeyringIsReportedAndNeverMistakenForAnEmptyOne) {
    auto keychain = std::make_shared<SecretServiceKeychainStore>(service, std::nullopt);
    KeychainAccountStore accounts(keychain);
    accounts.save(makeAccount("google:locked"));

    test::lockDefaultCollection();
    ASSERT_TRUE(test::defaultCollectionIsLocked());

    const std::vector<std::pair<const char*, std::function<void()>>> operations = {
        {"read the index", [&] { keychain->read("account-index"); }},
        {"read a missing item", [&] { keychain->read("account:never-saved"); }},
        {"read many", [&] { keychain->readMany({"account:never-saved"}); }},
        {"save", [&] { keychain->save("lost", "account:new"); }},
        {"remove", [&] { keychain->remove("account:google:locked"); }},
        {"remove a missing item", [&] { keychain->remove("account:never-saved"); }},
        {"list accounts", [&] { accounts.allAccounts(); }},
        {"save an account", [&] { accounts.save(makeAccount("google:new")); }},
        {"remove an account", [&] { accounts.remove("google:locked"); }},
    };
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        EXPECT_EQ(thrownError<LoftwingMultiError>(operation),
                  LoftwingMultiError::interactionNotAllowed());
    }
    EXPECT_TRUE(test::defaultCollectionIsLocked()) << "nothing may unlock it behind our back";

    test::unlockDefaultCollection();
    EXPECT_EQ(accounts.allAccounts(), std::vector<StoredAccount>{makeAccount("google:locked")});
    EXPECT_EQ(keychain->read("account:new"), std::nullopt);
}

TEST_F(SecretServiceKeyringTest, ThirtyTwoThreadsSavingNewAccountsAreAllListed) {
    auto keychain = std::make_shared<SecretServiceKeychainStore>(service, std::nullopt);
    KeychainAccountStore accounts(keychain);
    constexpr int threadCount = 32;
    {
        std::vector<std::jthread> threads;
        for (int i = 0; i < threadCount; ++i) {
            threads.emplace_back(
                [&accounts, i] { accounts.save(makeAccount("google:" + std::to_string(i))); });
        }
    }
    const auto listed = accounts.allAccounts();
    std::set<std::string> ids;
    for (const auto& stored : listed) {
        ids.insert(stored.account.id);
        EXPECT_EQ(stored, makeAccount(stored.account.id));
    }
    EXPECT_EQ(ids.size(), static_cast<std::size_t>(threadCount));
    EXPECT_EQ(listed.size(), static_cast<std::size_t>(threadCount));
}

TEST_F(SecretServiceKeyringTest, AKilledWriterLeavesEveryCompleteAccountListed) {
    auto keychain = std::make_shared<SecretServiceKeychainStore>(service, std::nullopt);
    KeychainAccountStore accounts(keychain);
    std::set<std::string> completed;
    // Kill writers after different numbers of saves so the kill lands at different steps.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Process writer(
            {KEYRING_PROBE_PATH, "keep-saving", service, "google:round" + std::to_string(round)});
        const int savesBeforeKill = 3 + 2 * round;
        for (int i = 0; i < savesBeforeKill; ++i) {
            const auto line = writer.readLine(20s);
            ASSERT_TRUE(line);
            ASSERT_EQ(line->rfind("saved ", 0), 0u) << *line;
            completed.insert(line->substr(6));
        }
        writer.signal(SIGKILL);
        EXPECT_EQ(writer.wait(10s), 128 + SIGKILL);
        // Saves the writer finished after the ones we counted are listed too.
        for (auto line = writer.readLine(1s); line; line = writer.readLine(1s)) {
            completed.insert(line->substr(6));
        }

        std::set<std::string> listed;
        for (const auto& stored : accounts.allAccounts()) {
            listed.insert(stored.account.id);
        }
        for (const auto& id : completed) {
            EXPECT_TRUE(listed.count(id)) << id << " was saved but is not listed";
        }
    }
}

TEST_F(SecretServiceKeyringTest, SaveReplacesTheItemAReadFindsWhoeverWroteIt) {
    const struct {
        const char* name;
        std::vector<std::string> seededCollections;  // "" is the default collection
        bool seededByTheStore;
    } rows[] = {
        {"written by the store itself", {}, true},
        {"written by secret-tool without a schema", {""}, false},
        {"in another unlocked collection", {sessionCollection}, false},
        {"duplicates in two collections", {"", sessionCollection}, false},
        {"ours beside a foreign duplicate", {sessionCollection}, true},
    };
    SecretServiceKeychainStore store(service, std::nullopt);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string key = std::string("account:") + row.name;
        for (const auto& collection : row.seededCollections) {
            storeWithSecretTool(service, key, "first", collection);
        }
        if (row.seededByTheStore) {
            store.save("first", key);
        }

        store.save("second bytes", key);

        EXPECT_EQ(store.read(key), "second bytes");
        EXPECT_EQ(secretsOf(service, key), std::vector<std::string>{"second bytes"});
        store.remove(key);
        EXPECT_TRUE(secretsOf(service, key).empty());
    }
}

TEST_F(SecretServiceKeyringTest, FrozenDaemonIsNotAvailableAndLogged) {
    SecretServiceKeychainStore store(service, std::nullopt);
    store.save("kept", "account:x");
    const auto log = test::CapturingLogSink::install();
    const pid_t daemon = test::keyringDaemonProcess();
    ::kill(daemon, SIGSTOP);
    const auto started = std::chrono::steady_clock::now();
    const auto error = thrownError<LoftwingMultiError>([&] { store.read("account:x"); });
    const auto elapsed = std::chrono::steady_clock::now() - started;
    ::kill(daemon, SIGCONT);
    EXPECT_EQ(error, LoftwingMultiError::keychainNotAvailable());
    // A frozen daemon costs one call time-out, not the bus default of 25 s per call.
    EXPECT_LT(elapsed, SecretServiceKeychainStore::defaultCallTimeout + 3s);
    EXPECT_THAT(log->lines(), ::testing::Contains(::testing::HasSubstr(
                                  "reported as The system keyring is not available")));
    setLogSink(nullptr);
    EXPECT_EQ(store.read("account:x"), "kept");
}

}  // namespace
}  // namespace loftwing
