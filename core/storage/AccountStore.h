#pragma once

#include "records/AccountRecords.h"

#include <string>
#include <vector>

namespace loftwing {

// The connected accounts with their tokens. Implementations are thread-safe.
class AccountStore {
  public:
    virtual ~AccountStore() = default;

    // Every stored account, sorted by address.
    virtual std::vector<StoredAccount> allAccounts() = 0;
    // Creates or replaces the account's record.
    virtual void save(const StoredAccount& account) = 0;
    // Removes the account; an unknown identifier is no error.
    virtual void remove(const std::string& accountID) = 0;
};

}  // namespace loftwing
