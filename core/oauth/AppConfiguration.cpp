#include "oauth/AppConfiguration.h"

#include "records/JsonFields.h"
#include "support/Text.h"

#include <boost/json/object.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/url_view.hpp>

namespace loftwing {

bool parsesAsURL(std::string_view text) {
    return boost::urls::parse_uri(boost::core::string_view(text.data(), text.size())).has_value();
}

bool ProviderOAuthConfiguration::isConfigured() const {
    if (trimmingWhitespaceAndNewlines(clientID).empty()) {
        return false;
    }
    return parsesAsURL(redirectURI) && parsesAsURL(authorizationEndpoint) &&
           parsesAsURL(tokenEndpoint);
}

std::optional<OAuthClientConfiguration> ProviderOAuthConfiguration::tokenManagerConfiguration()
    const {
    if (!parsesAsURL(tokenEndpoint) || !isConfigured()) {
        return std::nullopt;
    }
    return OAuthClientConfiguration{clientID, tokenEndpoint, scopes};
}

const ProviderOAuthConfiguration& LoftwingAppConfiguration::provider(MailProvider which) const {
    return which == MailProvider::google ? google : microsoft;
}

std::string LoftwingAppConfiguration::extensionOrigin() const {
    return "chrome-extension://" + extensionID + "/";
}

namespace {

// The last path component as the platform names it: trailing slashes do not count, and the root
// path's component is "/".
std::string lastPathComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    if (path == "/") {
        return "/";
    }
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

bool LoftwingAppConfiguration::usesChromeWebStore() const {
    const auto parsed = boost::urls::parse_uri(
        boost::core::string_view(extensionInstallURL.data(), extensionInstallURL.size()));
    if (!parsed) {
        return false;
    }
    const boost::urls::url_view& url = *parsed;
    if (url.scheme() != "https") {
        return false;
    }
    if (!url.has_authority() || url.host() != chromeWebStoreHost) {
        return false;
    }
    if (url.has_userinfo()) {
        return false;
    }
    const std::string path = url.path();
    if (!path.starts_with("/detail/")) {
        return false;
    }
    return lastPathComponent(path) == extensionID;
}

std::string LoftwingAppConfiguration::apiBaseURL(MailProvider which) const {
    if (const auto& configured = provider(which).apiBaseURL) {
        return *configured;
    }
    return which == MailProvider::google ? "https://gmail.googleapis.com"
                                         : "https://graph.microsoft.com";
}

std::string LoftwingAppConfiguration::profileURL(MailProvider which) const {
    if (const auto& configured = provider(which).profileURL) {
        return *configured;
    }
    return which == MailProvider::google ? "https://openidconnect.googleapis.com/v1/userinfo"
                                         : "https://graph.microsoft.com/v1.0/"
                                           "me?$select=id,displayName,mail,userPrincipalName";
}

std::map<MailProvider, OAuthClientConfiguration> tokenManagerConfigurations(
    const LoftwingAppConfiguration& configuration) {
    std::map<MailProvider, OAuthClientConfiguration> out;
    if (auto google = configuration.google.tokenManagerConfiguration()) {
        out.emplace(MailProvider::google, std::move(*google));
    }
    if (auto microsoft = configuration.microsoft.tokenManagerConfiguration()) {
        out.emplace(MailProvider::microsoft, std::move(*microsoft));
    }
    return out;
}

template <>
ProviderOAuthConfiguration fromJson<ProviderOAuthConfiguration>(const boost::json::value& json,
                                                                DateEncoding dates) {
    const JsonFields fields(json, "ProviderOAuthConfiguration", dates);
    return ProviderOAuthConfiguration{
        fields.string("clientID"),
        fields.string("redirectURI"),
        fields.string("authorizationEndpoint"),
        fields.string("tokenEndpoint"),
        fields.array<std::string>("scopes"),
        fields.optionalString("apiBaseURL"),
        fields.optionalString("profileURL"),
    };
}

template <>
LoftwingAppConfiguration fromJson<LoftwingAppConfiguration>(const boost::json::value& json,
                                                            DateEncoding dates) {
    const JsonFields fields(json, "LoftwingAppConfiguration", dates);
    return LoftwingAppConfiguration{
        fields.string("extensionID"),
        fields.string("extensionInstallURL"),
        fields.optionalString("keychainAccessGroup"),
        fields.record<ProviderOAuthConfiguration>("google"),
        fields.record<ProviderOAuthConfiguration>("microsoft"),
    };
}

LoftwingAppConfiguration decodeAppConfiguration(std::string_view json) {
    return decodeJson<LoftwingAppConfiguration>(json, DateEncoding::iso8601);
}

}  // namespace loftwing
