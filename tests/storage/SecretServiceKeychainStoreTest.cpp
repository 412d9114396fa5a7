#include "storage/SecretServiceKeychainStore.h"

#include "helpers/ThrownError.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace loftwing {
namespace {

using test::thrownError;

// Keys that cannot travel as D-Bus strings are refused before any bus is contacted; with the bus
// disabled, reaching it would have failed with keychainNotAvailable instead.
TEST(SecretServiceKeychainStoreTest, KeysThatAreNotDBusStringsAreInvalidData) {
    ASSERT_EQ(setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1), 0);
    SecretServiceKeychainStore store("com.loftwing.multi.accounts", std::nullopt);
    const std::vector<std::string> keys = {std::string("account:a\0b", 11), "account:\xC3", "\xFF"};
    for (const auto& key : keys) {
        SCOPED_TRACE(key.size());
        EXPECT_EQ(thrownError<LoftwingMultiError>([&] { store.read(key); }),
                  LoftwingMultiError::invalidData());
        EXPECT_EQ(thrownError<LoftwingMultiError>([&] { store.save("bytes", key); }),
                  LoftwingMultiError::invalidData());
        EXPECT_EQ(thrownError<LoftwingMultiError>([&] { store.remove(key); }),
                  LoftwingMultiError::invalidData());
    }
    SecretServiceKeychainStore badService(std::string("svc\0x", 5), std::nullopt);
    EXPECT_EQ(thrownError<LoftwingMultiError>([&] { badService.read("account-index"); }),
              LoftwingMultiError::invalidData());
    SecretServiceKeychainStore badGroup("com.loftwing.multi.accounts", "group\xC0");
    EXPECT_EQ(thrownError<LoftwingMultiError>([&] { badGroup.save("bytes", "account-index"); }),
              LoftwingMultiError::invalidData());
}

}  // namespace
}  // namespace loftwing
