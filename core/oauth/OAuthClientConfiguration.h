#pragma once

#include <string>
#include <vector>

namespace loftwing {

// What the token manager needs to refresh one provider's tokens.
struct OAuthClientConfiguration {
    std::string clientID;
    std::string tokenEndpoint;  // an absolute URL that parsed
    std::vector<std::string> scopes;

    friend bool operator==(const OAuthClientConfiguration&,
                           const OAuthClientConfiguration&) = default;
};

}  // namespace loftwing
