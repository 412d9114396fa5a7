#pragma once

#include <boost/url/url.hpp>

#include <string_view>

namespace loftwing {

// The address of `path` (starting with "/") under a provider's configured API base. A base with a
// path of its own (a proxy, a test server) keeps it, and a trailing slash on it adds no second one,
// so that every request of a client is built alike.
boost::urls::url providerAddress(std::string_view apiBaseURL, std::string_view path);

}  // namespace loftwing
