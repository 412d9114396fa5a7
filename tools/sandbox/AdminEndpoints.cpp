#include "Crypto.h"
#include "HttpSupport.h"
#include "MessageBuilder.h"
#include "SandboxService.h"

#include <boost/json.hpp>

#include <array>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace zevirudi::sandbox {

namespace json = boost::json;

namespace {

// An admin request that cannot be served, with the status that says why.
struct AdminError : std::runtime_error {
    AdminError(int code, const std::string& message) : std::runtime_error(message), status(code) {}
    int status;
};

constexpr std::array knownEndpoints{
    "google.oauth.authorize",
    "google.oauth.consent",
    "google.oauth.token",
    "microsoft.oauth.authorize",
    "microsoft.oauth.consent",
    "microsoft.oauth.token",
    "google.userinfo",
    "gmail.list",
    "gmail.get",
    "graph.me",
    "graph.messages",
    "echo",
};

std::int64_t nowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string text(const json::object& body, const char* key, const std::string& fallback) {
    const json::value* value = body.if_contains(key);
    if (value == nullptr) {
        return fallback;
    }
    return std::string(value->as_string());
}

std::string generatedSubjectID(Provider provider, std::uint64_t sequence) {
    char buffer[64];
    if (provider == Provider::google) {
        std::snprintf(buffer, sizeof buffer, "10%019llu",
                      static_cast<unsigned long long>(sequence));
    } else {
        std::snprintf(buffer, sizeof buffer, "00000000-0000-0000-5bx0-%012llx",
                      static_cast<unsigned long long>(sequence));
    }
    return buffer;
}

std::string generatedMessageID(Provider provider, std::int64_t receivedAt, std::uint64_t sequence) {
    char buffer[64];
    if (provider == Provider::google) {
        // Gmail ids are 16 hexadecimal digits that grow with time.
        std::snprintf(buffer, sizeof buffer, "%011llx%05llx",
                      static_cast<unsigned long long>(receivedAt) & 0xfffffffffffULL,
                      static_cast<unsigned long long>(sequence) & 0xfffffULL);
    } else {
        std::snprintf(buffer, sizeof buffer,
                      "AAMkAGsbx%08llxAAA=", static_cast<unsigned long long>(sequence));
    }
    return buffer;
}

}  // namespace

void SandboxService::installAdmin(httplib::Server& server) {
    using Body = std::function<json::value(const httplib::Request&, const json::object&)>;
    auto admin = [this](Body body) {
        return endpoint(
            "admin", "admin",
            [body = std::move(body)](const httplib::Request& request, httplib::Response& response) {
                try {
                    json::value parsed = request.body.empty() ? json::value(json::object())
                                                              : json::parse(request.body);
                    sendJSON(response, 200, body(request, parsed.as_object()));
                } catch (const AdminError& error) {
                    sendJSON(response, error.status, json::object{{"error", error.what()}});
                } catch (const std::exception& error) {
                    sendJSON(response, 400, json::object{{"error", error.what()}});
                }
            });
    };
    // The demo configuration's extension install address: there is no store listing to show.
    server.Get("/_sandbox/extension", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(
            "<!doctype html><title>Zevirudi extension</title><p>The sandbox has no store "
            "listing. Load the unpacked extension in chrome://extensions instead.</p>",
            "text/html; charset=UTF-8");
    });
    server.Get("/_sandbox/health", admin([](const httplib::Request&, const json::object&) {
                   return json::object{{"ok", true}};
               }));
    server.Post("/_sandbox/mailboxes",
                admin([this](const httplib::Request&, const json::object& body) {
                    return createMailbox(body);
                }));
    server.Get("/_sandbox/mailboxes", admin([this](const httplib::Request&, const json::object&) {
                   json::array list;
                   for (const Mailbox& mailbox : directory_.profiles()) {
                       list.push_back(json::object{{"accountID", mailbox.accountID()},
                                                   {"provider", providerName(mailbox.provider)},
                                                   {"email", mailbox.address},
                                                   {"name", mailbox.name}});
                   }
                   return json::object{{"mailboxes", std::move(list)}};
               }));
    server.Post(R"(/_sandbox/mailboxes/([^/]+)/tokens)",
                admin([this](const httplib::Request& request, const json::object& body) {
                    return issueTokens(request.matches[1].str(), body);
                }));
    server.Post(R"(/_sandbox/mailboxes/([^/]+)/messages)",
                admin([this](const httplib::Request& request, const json::object& body) {
                    return addMessage(request.matches[1].str(), body);
                }));
    server.Delete(
        R"(/_sandbox/mailboxes/([^/]+)/messages/([^/]+))",
        admin([this](const httplib::Request& request, const json::object&) {
            if (!directory_.removeMessage(request.matches[1].str(), request.matches[2].str())) {
                throw AdminError(404, "no such mailbox or message");
            }
            return json::object{{"removed", true}};
        }));
    server.Post(R"(/_sandbox/mailboxes/([^/]+)/revoke)",
                admin([this](const httplib::Request& request, const json::object&) {
                    if (!directory_.profile(request.matches[1].str())) {
                        throw AdminError(404, "no such mailbox");
                    }
                    tokens_.revoke(request.matches[1].str());
                    return json::object{{"revoked", true}};
                }));
    server.Get("/_sandbox/settings", admin([this](const httplib::Request&, const json::object&) {
                   return settingsJSON();
               }));
    server.Post("/_sandbox/settings",
                admin([this](const httplib::Request&, const json::object& body) {
                    return changeSettings(body);
                }));
    server.Get("/_sandbox/faults", admin([this](const httplib::Request&, const json::object&) {
                   return faults_.describe();
               }));
    server.Post("/_sandbox/faults",
                admin([this](const httplib::Request&, const json::object& body) {
                    return setFault(body);
                }));
    server.Delete("/_sandbox/faults", admin([this](const httplib::Request&, const json::object&) {
                      faults_.clear();
                      return faults_.describe();
                  }));
    server.Get("/_sandbox/counters", admin([this](const httplib::Request&, const json::object&) {
                   return counters_.snapshot();
               }));
    server.Post("/_sandbox/counters/reset",
                admin([this](const httplib::Request&, const json::object&) {
                    counters_.reset();
                    return counters_.snapshot();
                }));
    server.Post("/_sandbox/reset", admin([this](const httplib::Request&, const json::object&) {
                    directory_.clear();
                    tokens_.clear();
                    faults_.clear();
                    counters_.reset();
                    std::lock_guard lock(mutex_);
                    settings_ = SandboxSettings{};
                    pending_.clear();
                    return json::object{{"reset", true}};
                }));
}

json::value SandboxService::createMailbox(const json::object& body) {
    auto provider = providerFromName(text(body, "provider", ""));
    if (!provider) {
        throw AdminError(400, "provider must be google or microsoft");
    }
    Mailbox mailbox;
    mailbox.provider = *provider;
    mailbox.address = text(body, "email", "");
    mailbox.name = text(body, "name", "Sandbox User");
    mailbox.subjectID = text(body, "subjectID", "");
    if (mailbox.subjectID.empty()) {
        mailbox.subjectID = generatedSubjectID(*provider, directory_.nextSequence());
    }
    mailbox.mail = mailbox.address;
    if (const json::value* mail = body.if_contains("mail")) {
        mailbox.mail =
            mail->is_null() ? std::nullopt : std::optional<std::string>(mail->as_string());
    }
    mailbox.userPrincipalName = text(body, "userPrincipalName", mailbox.address);
    const std::string accountID = mailbox.accountID();
    if (!directory_.create(mailbox)) {
        throw AdminError(409, "a mailbox with this account id exists");
    }
    return json::object{{"accountID", accountID},
                        {"provider", providerName(*provider)},
                        {"subjectID", mailbox.subjectID},
                        {"email", mailbox.address},
                        {"name", mailbox.name}};
}

json::value SandboxService::issueTokens(const std::string& accountID, const json::object& body) {
    auto mailbox = directory_.profile(accountID);
    if (!mailbox) {
        throw AdminError(404, "no such mailbox");
    }
    const SandboxSettings current = settings();
    std::int64_t lifetime = current.tokenLifetimeSeconds;
    if (const json::value* expiresIn = body.if_contains("expiresIn")) {
        lifetime = expiresIn->to_number<std::int64_t>();
    }
    const std::string defaultScope =
        mailbox->provider == Provider::google
            ? "openid email profile https://www.googleapis.com/auth/gmail.readonly"
            : "offline_access openid email profile https://graph.microsoft.com/User.Read "
              "https://graph.microsoft.com/Mail.Read";
    TokenGrant grant =
        tokens_.issue(mailbox->provider, accountID, current.clientID(mailbox->provider),
                      text(body, "scope", defaultScope), lifetime);
    return json::object{{"access_token", grant.accessToken},
                        {"refresh_token", grant.refreshToken.value_or("")},
                        {"expires_in", grant.expiresIn},
                        {"scope", grant.scope},
                        {"token_type", "Bearer"}};
}

json::value SandboxService::addMessage(const std::string& accountID, const json::object& body) {
    auto mailbox = directory_.profile(accountID);
    if (!mailbox) {
        throw AdminError(404, "no such mailbox");
    }
    MessageDescription description = messageDescriptionFromJSON(body);
    StoredMessage message;
    message.sequence = directory_.nextSequence();
    message.receivedAtMilliseconds = description.receivedAtMilliseconds.value_or(nowMilliseconds());
    message.id = description.id.value_or(
        generatedMessageID(mailbox->provider, message.receivedAtMilliseconds, message.sequence));
    message.resource = mailbox->provider == Provider::google
                           ? gmailMessageResource(description, message.id,
                                                  message.receivedAtMilliseconds, mailbox->address)
                           : graphMessageResource(description, message.id,
                                                  message.receivedAtMilliseconds, mailbox->address);
    json::object answer{{"id", message.id},
                        {"messageID", accountID + ":" + message.id},
                        {"receivedAt", message.receivedAtMilliseconds}};
    if (!directory_.addMessage(accountID, std::move(message))) {
        throw AdminError(409, "the mailbox holds a message with this id");
    }
    return answer;
}

json::value SandboxService::changeSettings(const json::object& body) {
    {
        std::lock_guard lock(mutex_);
        SandboxSettings next = settings_;
        if (const json::value* consent = body.if_contains("autoConsent")) {
            std::string mode(consent->as_string());
            if (mode != "allow" && mode != "deny" && mode != "off") {
                throw AdminError(400, "autoConsent is allow, deny or off");
            }
            next.autoConsent = mode;
        }
        if (const json::value* rotate = body.if_contains("rotateRefreshTokens")) {
            if (rotate->is_bool()) {
                next.rotateGoogleRefreshTokens = rotate->as_bool();
                next.rotateMicrosoftRefreshTokens = rotate->as_bool();
            } else {
                const json::object& perProvider = rotate->as_object();
                if (const json::value* google = perProvider.if_contains("google")) {
                    next.rotateGoogleRefreshTokens = google->as_bool();
                }
                if (const json::value* microsoft = perProvider.if_contains("microsoft")) {
                    next.rotateMicrosoftRefreshTokens = microsoft->as_bool();
                }
            }
        }
        if (const json::value* lifetime = body.if_contains("tokenLifetimeSeconds")) {
            next.tokenLifetimeSeconds = lifetime->to_number<std::int64_t>();
        }
        next.googleClientID = text(body, "googleClientID", next.googleClientID);
        next.microsoftClientID = text(body, "microsoftClientID", next.microsoftClientID);
        if (const json::value* uris = body.if_contains("redirectURIs")) {
            next.redirectURIs.clear();
            for (const json::value& uri : uris->as_array()) {
                next.redirectURIs.emplace_back(uri.as_string());
            }
        }
        settings_ = next;
    }
    return settingsJSON();
}

json::value SandboxService::settingsJSON() {
    const SandboxSettings current = settings();
    json::array uris;
    for (const std::string& uri : current.redirectURIs) {
        uris.push_back(json::value(uri));
    }
    return json::object{
        {"googleClientID", current.googleClientID},
        {"microsoftClientID", current.microsoftClientID},
        {"redirectURIs", std::move(uris)},
        {"autoConsent", current.autoConsent},
        {"rotateRefreshTokens", json::object{{"google", current.rotateGoogleRefreshTokens},
                                             {"microsoft", current.rotateMicrosoftRefreshTokens}}},
        {"tokenLifetimeSeconds", current.tokenLifetimeSeconds},
    };
}

json::value SandboxService::setFault(const json::object& body) {
    const std::string name = text(body, "endpoint", "");
    if (std::find(knownEndpoints.begin(), knownEndpoints.end(), name) == knownEndpoints.end()) {
        throw AdminError(400, "unknown endpoint name: " + name);
    }
    std::deque<FaultStep> queue;
    if (const json::value* entries = body.if_contains("queue")) {
        for (const json::value& entry : entries->as_array()) {
            queue.push_back(faultStepFromJSON(entry));
        }
    }
    std::optional<std::chrono::milliseconds> delay;
    if (const json::value* delayMs = body.if_contains("delayMs")) {
        delay = std::chrono::milliseconds(delayMs->to_number<std::int64_t>());
    }
    faults_.set(name, std::move(queue), delay);
    return faults_.describe();
}

}  // namespace zevirudi::sandbox
