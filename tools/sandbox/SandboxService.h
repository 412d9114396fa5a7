#pragma once

#include "FaultInjector.h"
#include "Mailbox.h"
#include "MailboxDirectory.h"
#include "RequestCounters.h"
#include "TokenRegistry.h"

#include <httplib.h>

#include <boost/json/object.hpp>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace zevirudi::sandbox {

// What the admin interface can change about the providers' behaviour.
struct SandboxSettings {
    std::string googleClientID = "zevirudi-sandbox-google";
    std::string microsoftClientID = "zevirudi-sandbox-microsoft";
    std::vector<std::string> redirectURIs{"com.loftwing.multi:/oauth2redirect"};
    std::string autoConsent = "allow";  // "allow", "deny", or "off" for the consent page
    bool rotateGoogleRefreshTokens = false;
    bool rotateMicrosoftRefreshTokens = true;
    std::int64_t tokenLifetimeSeconds = 3600;

    const std::string& clientID(Provider provider) const {
        return provider == Provider::google ? googleClientID : microsoftClientID;
    }
};

// The providers' endpoints and the admin interface on one httplib server.
class SandboxService {
  public:
    explicit SandboxService(std::string baseURL);

    void install(httplib::Server& server);
    RequestCounters& counters() { return counters_; }

  private:
    using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

    // Counts the request, applies the endpoint's delay and queued fault, then serves it.
    httplib::Server::Handler endpoint(std::string name, std::string family, Handler handler);
    void answerFault(const std::string& name, const std::string& family, const FaultStep& step,
                     const httplib::Request& request, httplib::Response& response);

    // OAuthEndpoints.cpp
    void authorize(Provider provider, const httplib::Request& request, httplib::Response& response);
    void consent(Provider provider, const httplib::Request& request, httplib::Response& response);
    void token(Provider provider, const httplib::Request& request, httplib::Response& response);

    // MailEndpoints.cpp
    std::optional<Mailbox> authorizedMailbox(Provider provider, const httplib::Request& request,
                                             httplib::Response& response);
    void googleUserinfo(const httplib::Request& request, httplib::Response& response);
    void gmailList(const httplib::Request& request, httplib::Response& response);
    void gmailGet(const httplib::Request& request, httplib::Response& response);
    void graphMe(const httplib::Request& request, httplib::Response& response);
    void graphMessages(const httplib::Request& request, httplib::Response& response);

    // AdminEndpoints.cpp
    void installAdmin(httplib::Server& server);
    boost::json::value createMailbox(const boost::json::object& body);
    boost::json::value issueTokens(const std::string& accountID, const boost::json::object& body);
    boost::json::value addMessage(const std::string& accountID, const boost::json::object& body);
    boost::json::value changeSettings(const boost::json::object& body);
    boost::json::value settingsJSON();
    boost::json::value setFault(const boost::json::object& body);

    SandboxSettings settings();

    struct PendingAuthorization {
        CodeGrant grant;
        std::string state;
    };
    void finishAuthorization(const PendingAuthorization& pending, bool allowed,
                             httplib::Response& response);

    std::string baseURL_;
    MailboxDirectory directory_;
    TokenRegistry tokens_;
    FaultInjector faults_;
    RequestCounters counters_;

    std::mutex mutex_;  // guards settings_ and pending_
    SandboxSettings settings_;
    std::map<std::string, PendingAuthorization> pending_;
};

}  // namespace zevirudi::sandbox
