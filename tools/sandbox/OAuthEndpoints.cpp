#include "Crypto.h"
#include "HttpSupport.h"
#include "SandboxService.h"

#include <boost/json.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>

#include <algorithm>

namespace zevirudi::sandbox {

namespace json = boost::json;

namespace {

// Errors about the client or the redirect URI are shown to the person, never redirected: the
// redirect target itself is not trusted yet.
void errorPage(httplib::Response& response, const std::string& error,
               const std::string& description) {
    response.status = 400;
    response.set_content("<!doctype html><html><head><title>Error 400: " + htmlEscaped(error) +
                             "</title></head><body><h1>Error 400: " + htmlEscaped(error) +
                             "</h1><p>" + htmlEscaped(description) + "</p></body></html>",
                         "text/html; charset=UTF-8");
}

// Every value a redirect carries is URL-safe (no error_description, no scope, unlike the real
// providers): some test clients, httplib's among them, percent-decode the Location header before
// handing it over, which would break a value with a space in it.
void redirect(httplib::Response& response, const std::string& redirectURI,
              const std::vector<std::pair<std::string, std::string>>& items) {
    auto location = withQueryItems(redirectURI, items);
    if (!location) {
        errorPage(response, "redirect_uri_mismatch", "The redirect URI is not a URI.");
        return;
    }
    response.status = 302;
    response.set_header("Location", *location);
}

// Like the real providers (RFC 8252 section 7.3), a registered loopback redirect matches the same
// address and path on any port: a native application listens where the system lets it.
bool isRegisteredRedirect(const std::vector<std::string>& registered, const std::string& uri) {
    if (std::find(registered.begin(), registered.end(), uri) != registered.end()) {
        return true;
    }
    const auto withoutPort = [](const std::string& text) -> std::optional<std::string> {
        const auto parsed = boost::urls::parse_uri(text);
        if (!parsed || parsed->scheme() != "http" ||
            (parsed->encoded_host() != "127.0.0.1" && parsed->encoded_host() != "[::1]" &&
             parsed->encoded_host() != "localhost")) {
            return std::nullopt;
        }
        boost::urls::url url(*parsed);
        url.remove_port();
        return std::string(url.buffer());
    };
    const auto requested = withoutPort(uri);
    return requested && std::any_of(registered.begin(), registered.end(), [&](const auto& entry) {
               return withoutPort(entry) == requested;
           });
}

void oauthError(httplib::Response& response, const std::string& error,
                const std::string& description) {
    response.set_header("Cache-Control", "no-store");
    sendJSON(response, 400, json::object{{"error", error}, {"error_description", description}});
}

std::string consentPage(Provider provider, const std::string& requestID, const std::string& account,
                        const std::string& scope) {
    const std::string action = "/" + std::string(providerName(provider)) + "/oauth/consent";
    const std::string brand = provider == Provider::google ? "Google" : "Microsoft";
    return "<!doctype html><html><head><meta charset=\"utf-8\"><title>" + brand +
           " sandbox: consent</title></head><body><h1>" + brand +
           " sandbox</h1><p>Zevirudi wants to read the mail of <b>" + htmlEscaped(account) +
           "</b>.</p><p>Scopes: " + htmlEscaped(scope) + "</p><form method=\"post\" action=\"" +
           action + "\"><input type=\"hidden\" name=\"request\" value=\"" + htmlEscaped(requestID) +
           "\"><button type=\"submit\" name=\"decision\" value=\"allow\" id=\"allow\">Allow"
           "</button> <button type=\"submit\" name=\"decision\" value=\"deny\" id=\"deny\">Deny"
           "</button></form></body></html>";
}

}  // namespace

void SandboxService::authorize(Provider provider, const httplib::Request& request,
                               httplib::Response& response) {
    const SandboxSettings current = settings();
    auto parameter = [&](const char* name) { return queryValue(request, name).value_or(""); };
    const std::string redirectURI = parameter("redirect_uri");
    if (parameter("client_id") != current.clientID(provider)) {
        errorPage(response, "invalid_client", "The OAuth client was not found.");
        return;
    }
    if (!isRegisteredRedirect(current.redirectURIs, redirectURI)) {
        errorPage(response, "redirect_uri_mismatch",
                  "The redirect URI in the request does not match the ones registered.");
        return;
    }
    const std::string state = parameter("state");
    auto refuse = [&](const std::string& error) {
        std::vector<std::pair<std::string, std::string>> items{{"error", error}};
        if (!state.empty()) {
            items.emplace_back("state", state);
        }
        redirect(response, redirectURI, items);
    };
    if (parameter("response_type") != "code") {
        refuse("unsupported_response_type");
        return;
    }
    if (state.empty()) {
        refuse("invalid_request");
        return;
    }
    const std::string challenge = parameter("code_challenge");
    if (parameter("code_challenge_method") != "S256" || challenge.size() != 43) {
        refuse("invalid_request");
        return;
    }
    const std::string scope = parameter("scope");
    if (scope.empty()) {
        refuse("invalid_scope");
        return;
    }
    auto account = directory_.consentingAccount(provider, parameter("login_hint"));
    if (!account) {
        errorPage(response, "no_mailbox",
                  "The sandbox has no mailbox of this provider; create one with POST "
                  "/_sandbox/mailboxes.");
        return;
    }
    PendingAuthorization pending{
        CodeGrant{provider, *account, current.clientID(provider), redirectURI, challenge, scope},
        state};
    if (current.autoConsent != "off") {
        finishAuthorization(pending, current.autoConsent == "allow", response);
        return;
    }
    const std::string requestID = randomToken(16);
    {
        std::lock_guard lock(mutex_);
        pending_[requestID] = pending;
    }
    response.status = 200;
    response.set_content(consentPage(provider, requestID, *account, scope),
                         "text/html; charset=UTF-8");
}

void SandboxService::consent(Provider provider, const httplib::Request& request,
                             httplib::Response& response) {
    auto form = parseForm(request.body);
    if (!form) {
        errorPage(response, "invalid_request", "The consent form is malformed.");
        return;
    }
    PendingAuthorization pending;
    {
        std::lock_guard lock(mutex_);
        auto found = pending_.find((*form)["request"]);
        if (found == pending_.end() || found->second.grant.provider != provider) {
            errorPage(response, "invalid_request", "This sign-in has ended; start it again.");
            return;
        }
        pending = found->second;
        pending_.erase(found);
    }
    finishAuthorization(pending, (*form)["decision"] == "allow", response);
}

void SandboxService::finishAuthorization(const PendingAuthorization& pending, bool allowed,
                                         httplib::Response& response) {
    if (!allowed) {
        redirect(response, pending.grant.redirectURI,
                 {{"error", "access_denied"}, {"state", pending.state}});
        return;
    }
    const std::string redirectURI = pending.grant.redirectURI;
    std::string code = tokens_.issueCode(pending.grant);
    redirect(response, redirectURI, {{"code", code}, {"state", pending.state}});
}

void SandboxService::token(Provider provider, const httplib::Request& request,
                           httplib::Response& response) {
    const SandboxSettings current = settings();
    if (!request.get_header_value("Content-Type")
             .starts_with("application/x-www-form-urlencoded")) {
        oauthError(response, "invalid_request",
                   "The body must be application/x-www-form-urlencoded.");
        return;
    }
    auto form = parseForm(request.body);
    if (!form) {
        oauthError(response, "invalid_request", "The form is malformed or repeats a parameter.");
        return;
    }
    auto field = [&](const char* name) -> std::string {
        auto found = form->find(name);
        return found == form->end() ? std::string() : found->second;
    };
    const std::string grantType = field("grant_type");
    const std::string clientID = field("client_id");
    if (clientID != current.clientID(provider)) {
        oauthError(response, "invalid_client", "The OAuth client was not found.");
        return;
    }
    std::variant<TokenGrant, OAuthFailure> outcome;
    if (grantType == "authorization_code") {
        for (const char* required : {"code", "code_verifier", "redirect_uri"}) {
            if (field(required).empty()) {
                oauthError(response, "invalid_request", std::string("Missing ") + required + ".");
                return;
            }
        }
        outcome = tokens_.redeemCode(provider, field("code"), clientID, field("redirect_uri"),
                                     field("code_verifier"), current.tokenLifetimeSeconds);
    } else if (grantType == "refresh_token") {
        if (field("refresh_token").empty()) {
            oauthError(response, "invalid_request", "Missing refresh_token.");
            return;
        }
        if (provider == Provider::microsoft && form->find("scope") == form->end()) {
            oauthError(response, "invalid_request",
                       "AADSTS90014: The required field 'scope' is missing from the credential.");
            return;
        }
        const bool rotate = provider == Provider::google ? current.rotateGoogleRefreshTokens
                                                         : current.rotateMicrosoftRefreshTokens;
        outcome = tokens_.refresh(provider, field("refresh_token"), clientID,
                                  current.tokenLifetimeSeconds, rotate);
    } else {
        oauthError(response, "unsupported_grant_type",
                   "grant_type must be authorization_code or refresh_token.");
        return;
    }
    if (const auto* failure = std::get_if<OAuthFailure>(&outcome)) {
        oauthError(response, failure->error, failure->description);
        return;
    }
    const TokenGrant& grant = std::get<TokenGrant>(outcome);
    json::object body{
        {"access_token", grant.accessToken},
        {"expires_in", std::max<std::int64_t>(grant.expiresIn, 0)},
        {"scope",
         provider == Provider::microsoft && form->contains("scope") ? field("scope") : grant.scope},
        {"token_type", "Bearer"}};
    if (grant.refreshToken) {
        body["refresh_token"] = *grant.refreshToken;
    }
    if (provider == Provider::microsoft) {
        body["ext_expires_in"] = std::max<std::int64_t>(grant.expiresIn, 0);
    }
    response.set_header("Cache-Control", "no-store");
    response.set_header("Pragma", "no-cache");
    sendJSON(response, 200, body);
}

}  // namespace zevirudi::sandbox
