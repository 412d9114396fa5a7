#pragma once

#include <stop_token>
#include <string>

namespace zevirudi {

// Runs a provider's sign-in for the account connector: shows `url` to the user and returns the
// first URL with the scheme `callbackScheme` that comes back (the provider's redirect). A stop
// request ends the wait with loftwing::OperationCancelled. Implementations report their own
// failures (LoftwingMultiError::authenticationFailed when another sign-in is waiting,
// itemNotFound when there is no browser, the platform's errors otherwise).
class OAuthWebAuthenticating {
  public:
    virtual ~OAuthWebAuthenticating() = default;

    // Called before the authorization request is built, with the configured redirect URI;
    // returns the one to send in both the request and the code exchange. A loopback redirect
    // learns its port here when the system chooses it.
    virtual std::string prepareRedirect(const std::string& redirectURI) { return redirectURI; }

    virtual std::string authenticate(const std::string& url, const std::string& callbackScheme,
                                     std::stop_token stop = {}) = 0;
};

}  // namespace zevirudi
