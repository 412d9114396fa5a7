#pragma once

#include "helpers/MailTestFakes.h"
#include "helpers/ScriptedHTTPTransport.h"
#include "oauth/OAuthTokenManager.h"
#include "support/Base64.h"

#include <chrono>
#include <memory>
#include <string>

namespace loftwing::test {

// A real token manager whose account token stays valid for a century, so it never refreshes.
inline const Timestamp farFuture = Timestamp{} + std::chrono::hours(24 * 365 * 150);

inline std::shared_ptr<OAuthTokenManager> tokenManager(std::shared_ptr<HTTPTransport> transport) {
    return std::make_shared<OAuthTokenManager>(std::make_shared<FakeAccountStore>(),
                                               std::move(transport),
                                               std::map<MailProvider, OAuthClientConfiguration>{});
}

inline std::string gmailMessageJSON(const std::string& id, const std::string& plain,
                                    const std::string& internalDate = "1800000000000") {
    return R"({"id": ")" + id + R"(", "internalDate": ")" + internalDate +
           R"(", "payload": {"mimeType": "text/plain", "headers": [{"name": "From", "value": "x@example.net"}], "body": {"data": ")" +
           base64URLEncodeNoPadding(plain) + R"("}}})";
}

}  // namespace loftwing::test
