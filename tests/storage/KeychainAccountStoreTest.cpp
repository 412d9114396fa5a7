#include "storage/KeychainAccountStore.h"

#include "helpers/InMemoryKeychainDataStore.h"
#include "helpers/ThrownError.h"
#include "records/Errors.h"
#include "records/JsonCoding.h"
#include "support/Time.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace loftwing {
namespace {

using test::InMemoryKeychainDataStore;
using test::thrownError;

StoredAccount makeAccount(const std::string& id, const std::string& email,
                          const std::string& accessToken = "access") {
    return StoredAccount{
        ConnectedAccount{id, MailProvider::google, email, std::nullopt},
        OAuthTokenSet{accessToken, "refresh", *parseISO8601("2026-12-06T18:27:37Z"), std::nullopt},
    };
}

std::vector<std::string> emailsOf(const std::vector<StoredAccount>& accounts) {
    std::vector<std::string> emails;
    for (const auto& stored : accounts) {
        emails.push_back(stored.account.email);
    }
    return emails;
}

class KeychainAccountStoreTest : public ::testing::Test {
  protected:
    std::shared_ptr<InMemoryKeychainDataStore> keychain =
        std::make_shared<InMemoryKeychainDataStore>();
    KeychainAccountStore store{keychain};
};

TEST_F(KeychainAccountStoreTest, SavesListsReplacesAndRemoves) {
    EXPECT_TRUE(store.allAccounts().empty());
    EXPECT_FALSE(keychain->item("account-index"));
    store.remove("google:unknown");
    EXPECT_EQ(keychain->item("account-index"), "[]");

    store.save(makeAccount("google:b", "bob@example.com", "first"));
    store.save(makeAccount("microsoft:a", "Alice@example.com"));
    store.save(makeAccount("google:c", "carol@example.com"));
    const auto replaced = makeAccount("google:b", "bob@example.com", "second");
    store.save(replaced);
    // Listed by address whatever its case; the index keeps the saving order and each id once,
    // and a replaced record leaves the index unwritten.
    const auto accounts = store.allAccounts();
    EXPECT_THAT(emailsOf(accounts), ::testing::ElementsAre("Alice@example.com", "bob@example.com",
                                                           "carol@example.com"));
    EXPECT_EQ(accounts[1], replaced);
    EXPECT_EQ(keychain->item("account:google:b"), encodeJson(replaced, DateEncoding::iso8601));
    EXPECT_EQ(keychain->item("account-index"), R"(["google:b","microsoft:a","google:c"])");
    EXPECT_EQ(keychain->saveCount("account-index"), 4);

    store.remove("microsoft:a");
    EXPECT_FALSE(keychain->item("account:microsoft:a"));
    EXPECT_EQ(keychain->item("account-index"), R"(["google:b","google:c"])");
    // An index entry whose item is gone is skipped.
    keychain->put("account-index", R"(["google:gone","google:b","google:c"])");
    EXPECT_THAT(emailsOf(store.allAccounts()),
                ::testing::ElementsAre("bob@example.com", "carol@example.com"));
}

// Case and accents do not decide the order as bytes would: "alice" before "Bob", "émile" after.
TEST_F(KeychainAccountStoreTest, AddressesAreListedInCollationOrder) {
    for (const auto* email : {"zoe@x.io", "\xC3\xA9mile@x.io", "Bob@x.io", "alice@x.io"}) {
        store.save(makeAccount(email, email));
    }
    EXPECT_THAT(emailsOf(store.allAccounts()),
                ::testing::ElementsAre("alice@x.io", "Bob@x.io", "\xC3\xA9mile@x.io", "zoe@x.io"));
}

// One record that does not decode fails the listing instead of hiding that account.
TEST_F(KeychainAccountStoreTest, UndecodableRecordFailsTheWholeListing) {
    store.save(makeAccount("google:1", "a@x.io"));
    store.save(makeAccount("google:2", "b@x.io"));
    keychain->put("account:google:2", "{\"account\":");
    EXPECT_THROW(store.allAccounts(), JsonDecodingError);
}

TEST_F(KeychainAccountStoreTest, UndecodableIndexFailsEveryOperationAfterItsFirstStep) {
    const std::vector<std::string> badIndexes = {"{}", R"(["a",null])", "["};
    for (const auto& bad : badIndexes) {
        SCOPED_TRACE(bad);
        auto fresh = std::make_shared<InMemoryKeychainDataStore>();
        KeychainAccountStore rowStore(fresh);
        fresh->put("account-index", bad);
        fresh->put("account:google:old", "kept until removed");

        EXPECT_THROW(rowStore.allAccounts(), JsonDecodingError);
        EXPECT_THROW(rowStore.save(makeAccount("google:new", "n@x.io")), JsonDecodingError);
        EXPECT_TRUE(fresh->item("account:google:new")) << "the record is written before the index";
        EXPECT_THROW(rowStore.remove("google:old"), JsonDecodingError);
        EXPECT_FALSE(fresh->item("account:google:old")) << "the item is removed before the index";
        EXPECT_EQ(fresh->item("account-index"), bad);
    }
}

}  // namespace
}  // namespace loftwing
