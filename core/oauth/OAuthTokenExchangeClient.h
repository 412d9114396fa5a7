#pragma once

#include "oauth/AppConfiguration.h"
#include "oauth/HTTPTransport.h"
#include "records/AccountRecords.h"
#include "records/Errors.h"
#include "support/Time.h"

#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace loftwing {

// application/x-www-form-urlencoded body: pairs in ascending byte order of their names, each name
// and value percent-encoded as UTF-8 with upper-case hex except Unicode letters, marks and numbers
// (general categories L*, M*, N*) and "-", ".", "_", "~". Throws LoftwingMultiError::invalidData
// for a name or value that is not valid UTF-8.
std::string formEncodedBody(const std::map<std::string, std::string>& fields);

// A token endpoint's refusal, with the provider's error code (first 80 characters) and
// description (first 200 characters).
class OAuthProviderError : public std::exception, public LocalizedError {
  public:
    OAuthProviderError(std::string_view code, const std::optional<std::string>& detail);

    const std::string& code() const { return code_; }
    const std::optional<std::string>& detail() const { return detail_; }

    std::optional<std::string> errorDescription() const override { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const OAuthProviderError& a, const OAuthProviderError& b) {
        return a.code_ == b.code_ && a.detail_ == b.detail_;
    }

  private:
    std::string code_;
    std::optional<std::string> detail_;
    std::string description_;
};

// Exchanges an authorization code for tokens (authorization-code grant with PKCE).
class OAuthTokenExchangeClient {
  public:
    explicit OAuthTokenExchangeClient(std::shared_ptr<HTTPTransport> transport);

    // Throws LoftwingMultiError (invalidData for a token endpoint that does not parse,
    // httpStatus, invalidResponse), OAuthProviderError, JsonDecodingError, TransportError and
    // OperationCancelled.
    OAuthTokenSet exchange(const std::string& code, const std::string& verifier,
                           const ProviderOAuthConfiguration& configuration, Timestamp now,
                           std::stop_token stop = {}) const;

  private:
    std::shared_ptr<HTTPTransport> transport_;
};

}  // namespace loftwing
