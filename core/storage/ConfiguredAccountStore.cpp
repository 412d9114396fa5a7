#include "storage/ConfiguredAccountStore.h"

#include "storage/SecretServiceKeychainStore.h"

namespace loftwing {

std::shared_ptr<KeychainAccountStore> makeConfiguredAccountStore(
    const LoftwingAppConfiguration& configuration) {
    return std::make_shared<KeychainAccountStore>(std::make_shared<SecretServiceKeychainStore>(
        accountsKeychainService, configuration.keychainAccessGroup));
}

}  // namespace loftwing
