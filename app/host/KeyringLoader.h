#pragma once

#include "storage/KeychainDataStore.h"

#include <memory>
#include <optional>
#include <string>

namespace zevirudi {

// The Secret Service store, loaded from libLoftwingMultiKeyring.so in lib/zevirudi/. Throws
// keychainNotAvailable (and logs why) when the library or its entry point cannot be loaded: to the
// caller that is a keyring it cannot reach.
std::shared_ptr<loftwing::KeychainDataStore> loadSecretServiceStore(
    const std::string& service, const std::optional<std::string>& accessGroup);

}  // namespace zevirudi
