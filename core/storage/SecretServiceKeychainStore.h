#pragma once

#include "storage/KeychainDataStore.h"

#include <chrono>
#include <optional>
#include <string>

namespace loftwing {

// Items in the freedesktop Secret Service (GNOME Keyring, KWallet), one per (service, access
// group, account key), stored in the default collection. The store never shows or waits for an
// unlock prompt: a locked keyring is reported as interactionNotAllowed, a missing bus or a Secret
// Service that is absent, dies or does not answer within the call time-out as
// keychainNotAvailable. A save updates the item a read would find, wherever it lies and whoever
// wrote it, and deletes other items of the same key. No D-Bus connection is opened before the first
// operation. Thread-safe: operations of all instances in the process run one at a time, because
// libsecret shares one service proxy and one transfer session per process.
class SecretServiceKeychainStore final : public KeychainDataStore {
  public:
    // A Secret Service that does not answer a call within this time counts as not available;
    // no call of the store waits for a person, so a few seconds are plenty.
    static constexpr std::chrono::milliseconds defaultCallTimeout{5'000};

    // The access group is trimmed of white space and newlines; empty means none.
    SecretServiceKeychainStore(std::string service, std::optional<std::string> accessGroup,
                               std::chrono::milliseconds callTimeout = defaultCallTimeout);

    std::optional<std::string> read(const std::string& account) override;
    // One search for all items of the service and group, then one call for all their secrets
    // (with the items' attributes asked for beside it): the same D-Bus round trips for any number
    // of keys. Each key reads as read() would read it alone.
    std::vector<std::optional<std::string>> readMany(
        const std::vector<std::string>& accounts) override;
    void save(const std::string& bytes, const std::string& account) override;
    void remove(const std::string& account) override;

  private:
    std::string service_;
    std::optional<std::string> accessGroup_;
    std::chrono::milliseconds callTimeout_;
};

}  // namespace loftwing
