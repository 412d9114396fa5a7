// The entry point for processes that load the Secret Service store at run time (dlopen): the
// native host reads the keyring for three request types only, and the other requests must not pay
// for loading GLib.
#include "storage/SecretServiceKeychainStore.h"

// The caller owns the result. A null accessGroup means none. Throws what the constructor throws.
extern "C" __attribute__((visibility("default"))) loftwing::KeychainDataStore*
loftwing_create_secret_service_store(const char* service, const char* accessGroup) {
    return new loftwing::SecretServiceKeychainStore(
        service, accessGroup ? std::optional<std::string>(accessGroup) : std::nullopt);
}
