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
using Operation = InMemoryKeychainDataStore::Operation;

Timestamp at(const char* iso) {
    return *parseISO8601(iso);
}

StoredAccount makeAccount(const std::string& id, const std::string& email,
                          const std::string& accessToken = "access") {
    return StoredAccount{
        ConnectedAccount{id, MailProvider::google, email, std::nullopt},
        OAuthTokenSet{accessToken, "refresh", at("2026-12-06T18:27:37Z"), std::nullopt},
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

TEST_F(KeychainAccountStoreTest, AddressOrderFollowsCollationAndIsStable) {
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, std::string>> savedIDsAndEmails;
        std::vector<std::string> expectedIDs;
    };
    const std::vector<Row> rows = {
        {"equal addresses up to case keep index order",
         {{"1", "Same@Example.com"}, {"2", "same@example.com"}, {"3", "SAME@EXAMPLE.COM"}},
         {"1", "2", "3"}},
        {"accents sort beside their base letter",
         {{"z", "zoe@x.io"}, {"e", "\xC3\xA9mile@x.io"}, {"d", "dave@x.io"}},
         {"d", "e", "z"}},
        {"digits before letters", {{"l", "lea@x.io"}, {"n", "9lives@x.io"}}, {"n", "l"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto fresh = std::make_shared<InMemoryKeychainDataStore>();
        KeychainAccountStore rowStore(fresh);
        for (const auto& [id, email] : row.savedIDsAndEmails) {
            rowStore.save(makeAccount(id, email));
        }
        std::vector<std::string> ids;
        for (const auto& stored : rowStore.allAccounts()) {
            ids.push_back(stored.account.id);
        }
        EXPECT_EQ(ids, row.expectedIDs);
    }
}

TEST_F(KeychainAccountStoreTest, UndecodableRecordFailsTheWholeListing) {
    const std::string valid = R"({"account":{"id":"google:2","provider":"google",)"
                              R"("email":"b@x.io"},"tokens":{"accessToken":"t",)"
                              R"("expiresAt":"2026-12-06T18:27:37Z"}})";
    struct Row {
        const char* name;
        std::string bytes;
    };
    const std::vector<Row> rows = {
        {"not JSON", "{\"account\":"},
        {"expiresAt as milliseconds",
         R"({"account":{"id":"google:2","provider":"google","email":"b@x.io"},)"
         R"("tokens":{"accessToken":"t","expiresAt":1700000000000}})"},
        {"bytes that are not UTF-8", std::string("\xFF\xFE{}", 4)},
    };
    store.save(makeAccount("google:1", "a@x.io"));
    keychain->put("account-index", R"(["google:1","google:2"])");
    keychain->put("account:google:2", valid);
    ASSERT_EQ(store.allAccounts().size(), 2u);

    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        keychain->put("account:google:2", row.bytes);
        EXPECT_THROW(store.allAccounts(), JsonDecodingError);
    }
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

TEST_F(KeychainAccountStoreTest, KeyringFailuresPassThroughAndLeaveTheIndexAlone) {
    store.save(makeAccount("google:1", "a@x.io"));
    struct Row {
        const char* name;
        Operation failing;
        std::string failingKey;
        LoftwingMultiError error;
    };
    const std::vector<Row> rows = {
        {"locked keyring while reading the index", Operation::read, "account-index",
         LoftwingMultiError::interactionNotAllowed()},
        {"no keyring while reading a record", Operation::read, "account:google:1",
         LoftwingMultiError::keychainNotAvailable()},
        {"status while saving the record", Operation::save, "account:google:2",
         LoftwingMultiError::keychainStatus(7)},
        {"status while removing the record", Operation::remove, "account:google:1",
         LoftwingMultiError::keychainStatus(3)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        keychain->beforeOperation = [&row](Operation operation, const std::string& key) {
            if (operation == row.failing && key == row.failingKey) {
                throw row.error;
            }
        };
        EXPECT_EQ(thrownError<LoftwingMultiError>([&] {
                      switch (row.failing) {
                          case Operation::read:
                              store.allAccounts();
                              break;
                          case Operation::save:
                              store.save(makeAccount("google:2", "b@x.io"));
                              break;
                          case Operation::remove:
                              store.remove("google:1");
                              break;
                      }
                  }),
                  row.error);
        keychain->beforeOperation = nullptr;
        EXPECT_EQ(keychain->item("account-index"), R"(["google:1"])");
    }
}

}  // namespace
}  // namespace loftwing
