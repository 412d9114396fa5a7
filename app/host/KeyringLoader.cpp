#include "host/KeyringLoader.h"

#include "records/Errors.h"
#include "support/LogSink.h"

#include <dlfcn.h>

namespace zevirudi {

std::shared_ptr<loftwing::KeychainDataStore> loadSecretServiceStore(
    const std::string& service, const std::optional<std::string>& accessGroup) {
    // Found through the executable's run path; binds to the core linked into it. Never unloaded:
    // GLib keeps threads and type registrations for the life of the process.
    void* library = ::dlopen("libLoftwingMultiKeyring.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        loftwing::logMessage(loftwing::LogLevel::error, "keyring",
                             "the keyring library could not be loaded");
        throw loftwing::LoftwingMultiError::keychainNotAvailable();
    }
    using Create = loftwing::KeychainDataStore* (*)(const char*, const char*);
    auto* create =
        reinterpret_cast<Create>(::dlsym(library, "loftwing_create_secret_service_store"));
    if (!create) {
        loftwing::logMessage(loftwing::LogLevel::error, "keyring",
                             "the keyring library has no store");
        throw loftwing::LoftwingMultiError::keychainNotAvailable();
    }
    return std::shared_ptr<loftwing::KeychainDataStore>(
        create(service.c_str(), accessGroup ? accessGroup->c_str() : nullptr));
}

}  // namespace zevirudi
