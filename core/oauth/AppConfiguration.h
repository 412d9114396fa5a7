#pragma once

#include "oauth/OAuthClientConfiguration.h"
#include "records/JsonCoding.h"
#include "records/MailProvider.h"

#include <boost/json/fwd.hpp>

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace loftwing {

// Whether the text is an absolute URI (RFC 3986: scheme ":" hier-part, with every character
// allowed where it stands). The platform parser of the original design also accepted relative
// references; every address of this system is used as an absolute one, so text without a scheme,
// empty text and text with unencoded spaces count as not parsing.
bool parsesAsURL(std::string_view text);

// One mail provider's OAuth client settings, as written in OAuthConfig.json.
struct ProviderOAuthConfiguration {
    std::string clientID;
    std::string redirectURI;
    std::string authorizationEndpoint;
    std::string tokenEndpoint;
    std::vector<std::string> scopes;
    // Optional overrides of the provider's mail API and profile addresses, so that a deployment
    // (or the loopback sandbox) can point the clients elsewhere. Read them through
    // LoftwingAppConfiguration::apiBaseURL and profileURL, which apply the real addresses.
    std::optional<std::string> apiBaseURL;
    std::optional<std::string> profileURL;

    // Whether the provider can be used: a client identifier that is not blank and three addresses
    // that parse. Scopes and URL schemes are not examined.
    bool isConfigured() const;
    // The token manager's settings, absent when the provider cannot be used.
    std::optional<OAuthClientConfiguration> tokenManagerConfiguration() const;

    friend bool operator==(const ProviderOAuthConfiguration&,
                           const ProviderOAuthConfiguration&) = default;
};

// The deployment's configuration: extension identity and both providers' OAuth settings.
struct LoftwingAppConfiguration {
    std::string extensionID;
    std::string extensionInstallURL;
    std::optional<std::string> keychainAccessGroup;
    ProviderOAuthConfiguration google;
    ProviderOAuthConfiguration microsoft;

    const ProviderOAuthConfiguration& provider(MailProvider provider) const;
    // "chrome-extension://" + extensionID + "/", the identifier unchanged.
    std::string extensionOrigin() const;
    // Whether the install address is this extension's own Chrome Web Store detail page.
    bool usesChromeWebStore() const;
    // The provider's mail API base ("https://gmail.googleapis.com", "https://graph.microsoft.com")
    // and profile address, unless the configuration overrides them.
    std::string apiBaseURL(MailProvider provider) const;
    std::string profileURL(MailProvider provider) const;

    friend bool operator==(const LoftwingAppConfiguration&,
                           const LoftwingAppConfiguration&) = default;
};

inline constexpr std::string_view chromeWebStoreHost = "chromewebstore.google.com";

// The token manager settings: an entry for each provider whose settings are usable.
std::map<MailProvider, OAuthClientConfiguration> tokenManagerConfigurations(
    const LoftwingAppConfiguration& configuration);

template <>
ProviderOAuthConfiguration fromJson<ProviderOAuthConfiguration>(const boost::json::value& json,
                                                                DateEncoding dates);
template <>
LoftwingAppConfiguration fromJson<LoftwingAppConfiguration>(const boost::json::value& json,
                                                            DateEncoding dates);

// Decodes the bytes of OAuthConfig.json. Throws JsonDecodingError.
LoftwingAppConfiguration decodeAppConfiguration(std::string_view json);

}  // namespace loftwing
