#pragma once

#include "connection/OAuthWebAuthenticating.h"
#include "oauth/HTTPTransport.h"

#include <memory>
#include <stop_token>
#include <string>

namespace zevirudi::sandbox {

// The browser step against the loopback sandbox providers, for tests and the demo; never part of
// the product. With the sandbox's auto-consent on, its authorization endpoint answers 302 straight
// to the redirect URI, so "signing in" is one GET whose Location is the redirect, not followed.
// Throws LoftwingMultiError::httpStatus when the sandbox refuses the request (an error page),
// authenticationFailed when it answers anything but a redirect to the callback scheme (the
// consent page when auto-consent is off), and the transport's errors.
class SandboxWebAuthenticator : public OAuthWebAuthenticating {
  public:
    explicit SandboxWebAuthenticator(std::shared_ptr<loftwing::HTTPTransport> transport);

    std::string authenticate(const std::string& url, const std::string& callbackScheme,
                             std::stop_token stop = {}) override;

  private:
    std::shared_ptr<loftwing::HTTPTransport> transport_;
};

}  // namespace zevirudi::sandbox
