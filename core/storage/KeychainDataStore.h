#pragma once

#include <optional>
#include <string>
#include <vector>

namespace loftwing {

// Opaque byte items in the system keyring, one per account key, inside one service and an
// optional access group. Implementations are thread-safe; every failure is a LoftwingMultiError.
class KeychainDataStore {
  public:
    virtual ~KeychainDataStore() = default;

    // The bytes stored under the key, or nothing when there is no such item.
    virtual std::optional<std::string> read(const std::string& account) = 0;
    // The bytes of each key, in the order given, nothing where there is no item. One read per key
    // unless the store can read many items at once; fails as a whole when one read fails.
    virtual std::vector<std::optional<std::string>> readMany(
        const std::vector<std::string>& accounts) {
        std::vector<std::optional<std::string>> items;
        items.reserve(accounts.size());
        for (const auto& account : accounts) {
            items.push_back(read(account));
        }
        return items;
    }
    // Creates the item or replaces its bytes.
    virtual void save(const std::string& bytes, const std::string& account) = 0;
    // Deletes the item; deleting a missing item succeeds.
    virtual void remove(const std::string& account) = 0;
};

}  // namespace loftwing
