#pragma once

#include "storage/KeychainDataStore.h"

#include <functional>
#include <memory>
#include <mutex>

namespace zevirudi {

// Creates the real keyring store on its first operation, so that building a request's services
// loads nothing of the keyring stack. A creation that fails is tried again on the next operation.
class DeferredKeychainStore : public loftwing::KeychainDataStore {
  public:
    using Factory = std::function<std::shared_ptr<loftwing::KeychainDataStore>()>;

    explicit DeferredKeychainStore(Factory factory) : factory_(std::move(factory)) {}

    std::optional<std::string> read(const std::string& account) override {
        return store().read(account);
    }
    std::vector<std::optional<std::string>> readMany(
        const std::vector<std::string>& accounts) override {
        return store().readMany(accounts);
    }
    void save(const std::string& bytes, const std::string& account) override {
        store().save(bytes, account);
    }
    void remove(const std::string& account) override { store().remove(account); }

  private:
    loftwing::KeychainDataStore& store() {
        std::lock_guard lock(mutex_);
        if (!store_) {
            store_ = factory_();
        }
        return *store_;
    }

    Factory factory_;
    std::mutex mutex_;
    std::shared_ptr<loftwing::KeychainDataStore> store_;
};

}  // namespace zevirudi
