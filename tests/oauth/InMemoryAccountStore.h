#pragma once

#include "storage/AccountStore.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace loftwing::testing {

// An AccountStore in memory that counts saves. Thread-safe.
class InMemoryAccountStore : public AccountStore {
  public:
    std::vector<StoredAccount> allAccounts() override {
        std::lock_guard lock(mutex_);
        return accounts_;
    }
    void save(const StoredAccount& account) override {
        std::lock_guard lock(mutex_);
        ++saves_;
        std::erase_if(accounts_, [&](const auto& a) { return a.account.id == account.account.id; });
        accounts_.push_back(account);
    }
    void remove(const std::string& accountID) override {
        std::lock_guard lock(mutex_);
        std::erase_if(accounts_, [&](const auto& a) { return a.account.id == accountID; });
    }
    int saves() const {
        std::lock_guard lock(mutex_);
        return saves_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<StoredAccount> accounts_;
    int saves_ = 0;
};

}  // namespace loftwing::testing
