#include "host/TransportLoader.h"

#include "records/Errors.h"

#include <dlfcn.h>

namespace zevirudi {

std::shared_ptr<loftwing::HTTPTransport> loadCurlTransport() {
    // Found through the executable's run path; binds to the core linked into it. Never unloaded:
    // the transport's worker thread lives as long as the process.
    void* library = ::dlopen("libLoftwingMultiHTTP.so", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        throw loftwing::TransportError(-1, "The HTTP library could not be loaded.");
    }
    using Create = loftwing::HTTPTransport* (*)();
    auto* create = reinterpret_cast<Create>(::dlsym(library, "loftwing_create_curl_transport"));
    if (!create) {
        throw loftwing::TransportError(-1, "The HTTP library has no transport.");
    }
    return std::shared_ptr<loftwing::HTTPTransport>(create());
}

}  // namespace zevirudi
