#pragma once

#include "oauth/AppConfiguration.h"
#include "storage/KeychainAccountStore.h"

#include <memory>

namespace loftwing {

// The keyring service under which every role of the application keeps its accounts.
inline constexpr const char* accountsKeychainService = "com.loftwing.multi.accounts";

// The account store of every role: the user's Secret Service, the accounts' service and the
// configuration's access group. Opens no connection until the first operation.
std::shared_ptr<KeychainAccountStore> makeConfiguredAccountStore(
    const LoftwingAppConfiguration& configuration);

}  // namespace loftwing
