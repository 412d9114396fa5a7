#pragma once

#include "storage/AccountStore.h"
#include "storage/KeychainDataStore.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace loftwing {

// The connected accounts as keyring items: an index item "account-index" (a JSON array of the
// account identifiers in the order of their first save) and one item "account:" + id per account
// holding its StoredAccount as JSON with ISO 8601 dates. Each operation holds the store's mutex
// from its first keyring call to its last, so overlapping saves never lose an index entry.
// Keyring failures (LoftwingMultiError) and JSON failures (JsonDecodingError) pass through
// unchanged.
class KeychainAccountStore final : public AccountStore {
  public:
    explicit KeychainAccountStore(std::shared_ptr<KeychainDataStore> keychain);
    ~KeychainAccountStore() override;

    static constexpr const char* indexKey = "account-index";

    // Every account whose item exists, sorted by address case-insensitively (stable, so equal
    // addresses keep index order). An index entry without an item is skipped; an item that does
    // not decode fails the whole listing.
    std::vector<StoredAccount> allAccounts() override;
    // Writes the account's item, then appends its identifier to the index if it is new.
    void save(const StoredAccount& account) override;
    // Deletes the account's item, then rewrites the index without the identifier (also when it
    // was not there), holding the account's AccountLock throughout.
    void remove(const std::string& accountID) override;

  private:
    class AddressOrder;

    std::vector<std::string> loadIndex();
    void storeIndex(const std::vector<std::string>& index);

    std::shared_ptr<KeychainDataStore> keychain_;
    std::unique_ptr<AddressOrder> addressOrder_;
    std::mutex mutex_;
};

}  // namespace loftwing
