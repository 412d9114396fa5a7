#include "connection/OAuthAccountConnector.h"

#include "connection/AccountConnectionError.h"
#include "oauth/OAuthAuthorizationBuilder.h"
#include "oauth/OAuthTokenExchangeClient.h"
#include "records/Errors.h"
#include "records/JsonCoding.h"
#include "records/JsonFields.h"
#include "support/Time.h"

#include <utility>

namespace zevirudi {

using loftwing::ConnectedAccount;
using loftwing::LoftwingMultiError;
using loftwing::MailProvider;

namespace {

// The profile records as the providers send them; unknown keys are ignored, null reads as absent.
struct GoogleProfile {
    std::string sub;
    std::string email;
    std::optional<std::string> name;
};

struct MicrosoftProfile {
    std::string id;
    std::optional<std::string> displayName;
    std::optional<std::string> mail;
    std::optional<std::string> userPrincipalName;
};

GoogleProfile decodeGoogleProfile(std::string_view body) {
    const auto json = loftwing::parseJson(body);
    const loftwing::JsonFields fields(json, "GoogleProfile", loftwing::DateEncoding::iso8601);
    return {fields.string("sub"), fields.string("email"), fields.optionalString("name")};
}

MicrosoftProfile decodeMicrosoftProfile(std::string_view body) {
    const auto json = loftwing::parseJson(body);
    const loftwing::JsonFields fields(json, "MicrosoftProfile", loftwing::DateEncoding::iso8601);
    return {fields.string("id"), fields.optionalString("displayName"),
            fields.optionalString("mail"), fields.optionalString("userPrincipalName")};
}

ConnectedAccount googleAccount(const GoogleProfile& profile) {
    if (profile.sub.empty() || profile.email.empty()) {
        throw LoftwingMultiError::invalidResponse();
    }
    return {"google:" + profile.sub, MailProvider::google, profile.email, profile.name};
}

ConnectedAccount microsoftAccount(const MicrosoftProfile& profile) {
    // An empty "mail" is the provider's answer for this mailbox, so the principal name, which
    // may not receive mail, is taken only when "mail" is missing altogether.
    const std::optional<std::string>& address =
        profile.mail ? profile.mail : profile.userPrincipalName;
    if (profile.id.empty() || !address || address->empty()) {
        throw LoftwingMultiError::invalidResponse();
    }
    return {"microsoft:" + profile.id, MailProvider::microsoft, *address, profile.displayName};
}

}  // namespace

OAuthAccountConnector::OAuthAccountConnector(
    loftwing::LoftwingAppConfiguration configuration,
    std::shared_ptr<loftwing::AccountStore> accountStore,
    std::shared_ptr<OAuthWebAuthenticating> webAuthenticator,
    std::shared_ptr<loftwing::HTTPTransport> transport)
    : configuration_(std::move(configuration)),
      accountStore_(std::move(accountStore)),
      webAuthenticator_(std::move(webAuthenticator)),
      transport_(std::move(transport)) {}

ConnectedAccount OAuthAccountConnector::connect(MailProvider provider,
                                                const std::optional<std::string>& loginHint,
                                                std::stop_token stop) {
    auto settings = configuration_.provider(provider);
    if (!settings.isConfigured()) {
        throw AccountConnectionError::providerNotConfigured(provider);
    }
    settings.redirectURI = webAuthenticator_->prepareRedirect(settings.redirectURI);

    const auto context = loftwing::OAuthAuthorizationBuilder::make(provider, settings, loginHint);
    const std::string redirect =
        webAuthenticator_->authenticate(context.authorizationURL, context.callbackScheme, stop);
    const std::string code =
        loftwing::OAuthAuthorizationBuilder::authorizationCode(redirect, context.state);
    const auto tokens =
        loftwing::OAuthTokenExchangeClient(transport_)
            .exchange(code, context.codeVerifier, settings, loftwing::currentTime(), stop);

    const ConnectedAccount account = fetchAccount(provider, tokens.accessToken, stop);

    // A stop that arrives after the last network step still leaves the store untouched.
    if (stop.stop_requested()) {
        throw loftwing::OperationCancelled();
    }
    accountStore_->save({account, tokens});
    return account;
}

ConnectedAccount OAuthAccountConnector::fetchAccount(MailProvider provider,
                                                     const std::string& accessToken,
                                                     std::stop_token stop) const {
    loftwing::HTTPRequest request;
    // The configured address is complete: Microsoft's carries its $select query.
    request.url = configuration_.profileURL(provider);
    request.method = "GET";
    request.headers = {{"Authorization", "Bearer " + accessToken}, {"Accept", "application/json"}};
    request.timeout = std::chrono::seconds(60);

    const loftwing::HTTPResponse response = transport_->data(request, stop);
    if (response.statusCode < 200 || response.statusCode > 299) {
        throw LoftwingMultiError::httpStatus(response.statusCode);
    }
    switch (provider) {
        case MailProvider::google:
            return googleAccount(decodeGoogleProfile(response.body));
        case MailProvider::microsoft:
            return microsoftAccount(decodeMicrosoftProfile(response.body));
    }
    throw LoftwingMultiError::unsupportedProvider();
}

}  // namespace zevirudi
