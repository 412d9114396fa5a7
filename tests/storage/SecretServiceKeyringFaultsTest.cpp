// Keyring faults against a real gnome-keyring-daemon on a private session bus (run under
// tests/helpers/run-with-private-keyring): items other programs wrote, a daemon that freezes or
// dies.

#include "helpers/PrivateKeyring.h"
#include "helpers/Process.h"
#include "records/Errors.h"
#include "storage/SecretServiceKeychainStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using test::Process;

constexpr const char* sessionCollection = "/org/freedesktop/secrets/collection/session";

// An item as secret-tool writes it: no schema attribute, our label or not, in any collection.
void storeWithSecretTool(const std::string& service, const std::string& key,
                         const std::string& bytes, const std::string& collection) {
    std::vector<std::string> argv{"/bin/sh",
                                  "-c",
                                  "printf %s \"$0\" | secret-tool store --label=x "
                                  "${1:+--collection=$1} service \"$2\" account \"$3\" "
                                  "accessGroup ''",
                                  bytes,
                                  collection,
                                  service,
                                  key};
    Process store(argv);
    store.readToEnd(10s);
    ASSERT_EQ(store.wait(10s), 0);
}

std::vector<std::string> secretsOf(const std::string& service, const std::string& key) {
    Process search(
        {"secret-tool", "search", "--all", "service", service, "account", key, "accessGroup", ""});
    const std::string listing = search.readToEnd(10s);
    EXPECT_EQ(search.wait(10s), 0);
    std::vector<std::string> secrets;
    for (auto at = listing.find("secret = "); at != std::string::npos;
         at = listing.find("secret = ", at + 1)) {
        const auto start = at + 9;
        secrets.push_back(listing.substr(start, listing.find('\n', start) - start));
    }
    return secrets;
}

class SecretServiceKeyringFaultsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!test::runsWithPrivateKeyring()) {
            GTEST_SKIP() << "needs tests/helpers/run-with-private-keyring";
        }
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        service = std::string("com.loftwing.multi.test.") + info->name();
    }

    std::string service;
};

TEST_F(SecretServiceKeyringFaultsTest, SaveReplacesTheItemAReadFindsWhoeverWroteIt) {
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

// The daemon is frozen or killed, so each case runs in a keyring of its own: a nested private
// session around the probe.
TEST_F(SecretServiceKeyringFaultsTest, FrozenOrKilledDaemonIsNotAvailableAndLogged) {
    const std::string notAvailable =
        "error " +
        std::to_string(static_cast<int>(LoftwingMultiError::Case::keychainNotAvailable)) + " 0";
    const char* source = std::getenv("ZEVIRUDI_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    for (const std::string command : {"frozen-read", "killed-read"}) {
        SCOPED_TRACE(command);
        Process probe({std::string(source) + "/tests/helpers/run-with-private-keyring",
                       KEYRING_PROBE_PATH, command, service, "account-index"});
        const std::string output = probe.readToEnd(60s);
        probe.wait(30s);
        std::vector<std::string> lines;
        std::istringstream stream(output);
        for (std::string line; std::getline(stream, line);) {
            lines.push_back(line);
        }
        ASSERT_GE(lines.size(), 3u) << output;
        EXPECT_EQ(lines[0], notAvailable) << output;
        // A frozen daemon costs one call time-out, not the bus default of 25 s per call.
        const long milliseconds = std::stol(lines[1].substr(3));
        EXPECT_LT(milliseconds, SecretServiceKeychainStore::defaultCallTimeout.count() + 3'000);
        EXPECT_THAT(output, ::testing::HasSubstr("log keyring: "));
        EXPECT_THAT(output,
                    ::testing::HasSubstr("reported as The system keyring is not available"));
    }
}

}  // namespace
}  // namespace loftwing
