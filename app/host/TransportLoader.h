#pragma once

#include "oauth/HTTPTransport.h"

#include <memory>

namespace zevirudi {

// The libcurl transport, loaded from libLoftwingMultiHTTP.so in lib/zevirudi/ on first use.
// Throws TransportError (-1) when the library or its entry point cannot be loaded.
std::shared_ptr<loftwing::HTTPTransport> loadCurlTransport();

}  // namespace zevirudi
