#pragma once

#include <optional>
#include <string>

namespace loftwing {

// Opaque byte items in the system keyring, one per account key, inside one service and an
// optional access group. Implementations are thread-safe; every failure is a LoftwingMultiError.
class KeychainDataStore {
  public:
    virtual ~KeychainDataStore() = default;

    // The bytes stored under the key, or nothing when there is no such item.
    virtual std::optional<std::string> read(const std::string& account) = 0;
    // Creates the item or replaces its bytes.
    virtual void save(const std::string& bytes, const std::string& account) = 0;
    // Deletes the item; deleting a missing item succeeds.
    virtual void remove(const std::string& account) = 0;
};

}  // namespace loftwing
