#pragma once

#include "storage/KeychainDataStore.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace loftwing::test {

// A KeychainDataStore fake holding the items in a map. Each operation yields the thread once
// before it touches the map, so callers that do not serialise their own read-modify-write steps
// are caught by concurrent tests.
class InMemoryKeychainDataStore : public KeychainDataStore {
  public:
    std::optional<std::string> read(const std::string& account) override {
        std::this_thread::yield();
        std::lock_guard lock(mutex_);
        const auto found = items_.find(account);
        if (found == items_.end()) {
            return std::nullopt;
        }
        return found->second;
    }

    void save(const std::string& bytes, const std::string& account) override {
        std::this_thread::yield();
        std::lock_guard lock(mutex_);
        items_[account] = bytes;
        ++saveCounts_[account];
    }

    void remove(const std::string& account) override {
        std::this_thread::yield();
        std::lock_guard lock(mutex_);
        items_.erase(account);
    }

    // Direct access for arranging and checking a test.
    void put(const std::string& account, const std::string& bytes) {
        std::lock_guard lock(mutex_);
        items_[account] = bytes;
    }
    std::optional<std::string> item(const std::string& account) const {
        std::lock_guard lock(mutex_);
        const auto found = items_.find(account);
        return found == items_.end() ? std::nullopt : std::optional<std::string>(found->second);
    }
    int saveCount(const std::string& account) const {
        std::lock_guard lock(mutex_);
        const auto found = saveCounts_.find(account);
        return found == saveCounts_.end() ? 0 : found->second;
    }

  private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> items_;
    std::map<std::string, int> saveCounts_;
};

}  // namespace loftwing::test
