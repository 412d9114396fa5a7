#include "mail/ProviderAddress.h"

#include <string>

namespace loftwing {

boost::urls::url providerAddress(std::string_view apiBaseURL, std::string_view path) {
    boost::urls::url address(apiBaseURL);
    std::string joined(address.encoded_path());
    while (!joined.empty() && joined.back() == '/') {
        joined.pop_back();
    }
    joined += path;
    address.set_encoded_path(joined);
    return address;
}

}  // namespace loftwing
