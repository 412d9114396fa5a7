#include "oauth/AppConfiguration.h"

#include "records/Errors.h"

#include <gtest/gtest.h>
#include <boost/json/value.hpp>

#include <functional>

namespace loftwing {
namespace {

ProviderOAuthConfiguration usableProvider() {
    return {"client-1",
            "com.loftwing.multi:/oauth2redirect",
            "https://accounts.example/auth",
            "https://accounts.example/token",
            {"openid", "email"},
            std::nullopt,
            std::nullopt};
}

LoftwingAppConfiguration configuration(std::string extensionID, std::string installURL) {
    return {std::move(extensionID), std::move(installURL), std::nullopt, usableProvider(),
            usableProvider()};
}

const char* const fullFile = R"({
  "extensionID": "kbmkjfgkcnoefmnnplpkapgdkgpbbcpd",
  "extensionInstallURL": "https://chromewebstore.google.com/detail/zevirudi/kbmkjfgkcnoefmnnplpkapgdkgpbbcpd",
  "keychainAccessGroup": null,
  "unknownKey": [1, 2],
  "google": {"clientID": "g", "redirectURI": "com.loftwing.multi:/oauth2redirect",
             "authorizationEndpoint": "https://accounts.google.com/o/oauth2/v2/auth",
             "tokenEndpoint": "https://oauth2.googleapis.com/token",
             "scopes": ["https://www.googleapis.com/auth/gmail.readonly"]},
  "microsoft": {"clientID": "m", "redirectURI": "com.loftwing.multi:/oauth2redirect",
             "authorizationEndpoint": "http://127.0.0.1:47613/microsoft/oauth/authorize",
             "tokenEndpoint": "http://127.0.0.1:47613/microsoft/oauth/token",
             "scopes": ["offline_access", "Mail.Read"],
             "apiBaseURL": "http://127.0.0.1:47613", "profileURL": "http://127.0.0.1:47613/v1.0/me"}
})";

TEST(AppConfiguration, DecodesTheFileAndAppliesDefaultAddresses) {
    const auto decoded = decodeAppConfiguration(fullFile);
    EXPECT_EQ(decoded.extensionID, "kbmkjfgkcnoefmnnplpkapgdkgpbbcpd");
    EXPECT_EQ(decoded.keychainAccessGroup, std::nullopt);
    EXPECT_EQ(decoded.provider(MailProvider::google).clientID, "g");
    EXPECT_EQ(decoded.provider(MailProvider::microsoft).clientID, "m");
    EXPECT_EQ(decoded.microsoft.scopes, (std::vector<std::string>{"offline_access", "Mail.Read"}));
    EXPECT_EQ(decoded.apiBaseURL(MailProvider::google), "https://gmail.googleapis.com");
    EXPECT_EQ(decoded.profileURL(MailProvider::google),
              "https://openidconnect.googleapis.com/v1/userinfo");
    EXPECT_EQ(decoded.apiBaseURL(MailProvider::microsoft), "http://127.0.0.1:47613");
    EXPECT_EQ(decoded.profileURL(MailProvider::microsoft), "http://127.0.0.1:47613/v1.0/me");
    auto noOverrides = decoded;
    noOverrides.microsoft.apiBaseURL.reset();
    noOverrides.microsoft.profileURL.reset();
    EXPECT_EQ(noOverrides.apiBaseURL(MailProvider::microsoft), "https://graph.microsoft.com");
    EXPECT_EQ(noOverrides.profileURL(MailProvider::microsoft),
              "https://graph.microsoft.com/v1.0/me?$select=id,displayName,mail,userPrincipalName");
    EXPECT_TRUE(decoded.usesChromeWebStore());
}

TEST(AppConfiguration, AccessGroupAndRefusals) {
    const std::string provider =
        R"({"clientID":"g","redirectURI":"r:/",)"
        R"("authorizationEndpoint":"https://a","tokenEndpoint":"https://t",)"
        R"("scopes":[]})";
    const std::string google =
        R"({"extensionID":"e","extensionInstallURL":"u","google":)" + provider;
    EXPECT_EQ(decodeAppConfiguration(google + R"(,"keychainAccessGroup":"G","microsoft":)" +
                                     provider + "}")
                  .keychainAccessGroup,
              "G");
    EXPECT_THROW(decodeAppConfiguration(google + "}"), JsonDecodingError);  // no microsoft
    EXPECT_THROW(decodeAppConfiguration("{\"extensionID\":"), JsonDecodingError);
}

TEST(AppConfiguration, IsConfiguredAndTokenManagerSettings) {
    const struct {
        const char* name;
        std::function<void(ProviderOAuthConfiguration&)> change;
        bool configured;
    } rows[] = {
        {"complete", [](auto&) {}, true},
        {"no scopes", [](auto& p) { p.scopes.clear(); }, true},
        {"client id of spaces", [](auto& p) { p.clientID = "  \t\n"; }, false},
        {"client id with spaces around", [](auto& p) { p.clientID = " id "; }, true},
        {"relative redirect URI", [](auto& p) { p.redirectURI = "oauth2redirect"; }, false},
        {"authorization endpoint with a space",
         [](auto& p) { p.authorizationEndpoint = "https://a.example/o auth"; }, false},
        {"token endpoint empty", [](auto& p) { p.tokenEndpoint = ""; }, false},
        {"placeholder values still parse", [](auto& p) { p.tokenEndpoint = "REPLACE:ME"; }, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto provider = usableProvider();
        row.change(provider);
        EXPECT_EQ(provider.isConfigured(), row.configured);
        const auto settings = provider.tokenManagerConfiguration();
        ASSERT_EQ(settings.has_value(), row.configured);
        if (settings) {
            EXPECT_EQ(*settings, (OAuthClientConfiguration{
                                     provider.clientID, provider.tokenEndpoint, provider.scopes}));
        }
    }

    auto onlyGoogle = configuration("id", "https://example.com");
    onlyGoogle.microsoft.clientID = "";
    const auto map = tokenManagerConfigurations(onlyGoogle);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->first, MailProvider::google);
    EXPECT_EQ(tokenManagerConfigurations(configuration("id", "x")).size(), 2u);
}

TEST(AppConfiguration, ExtensionOriginAndChromeWebStore) {
    const std::string id = "kbmkjfgkcnoefmnnplpkapgdkgpbbcpd";
    EXPECT_EQ(configuration(" AbC ", "").extensionOrigin(), "chrome-extension:// AbC /");
    EXPECT_EQ(configuration(id, "").extensionOrigin(), "chrome-extension://" + id + "/");

    const struct {
        const char* name;
        std::string url;
        bool store;
    } rows[] = {
        {"store detail page", "https://chromewebstore.google.com/detail/zevirudi/" + id, true},
        {"trailing slash", "https://chromewebstore.google.com/detail/zevirudi/" + id + "/", true},
        {"http scheme", "http://chromewebstore.google.com/detail/zevirudi/" + id, false},
        {"upper-case scheme", "HTTPS://chromewebstore.google.com/detail/zevirudi/" + id, false},
        {"other identifier", "https://chromewebstore.google.com/detail/zevirudi/abc", false},
        {"user name", "https://user@chromewebstore.google.com/detail/zevirudi/" + id, false},
        {"other host", "https://chrome.google.com/webstore/detail/zevirudi/" + id, false},
        {"not a detail path", "https://chromewebstore.google.com/category/" + id, false},
        {"empty", "", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(configuration(id, row.url).usesChromeWebStore(), row.store);
    }
}

}  // namespace
}  // namespace loftwing
