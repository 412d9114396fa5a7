#pragma once

#include "helpers/Process.h"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace loftwing::test {

struct SandboxTokens {
    std::string accessToken;
    std::string refreshToken;
    std::int64_t expiresIn = 0;
};

// A private zevirudi-sandbox process on a port the system chooses, for one test (or one test
// suite). The constructor starts it and waits (bounded) for its address; the destructor kills
// and reaps it. Admin calls throw std::runtime_error when the sandbox refuses them.
class SandboxServer {
  public:
    SandboxServer();
    ~SandboxServer();
    SandboxServer(const SandboxServer&) = delete;
    SandboxServer& operator=(const SandboxServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:PORT"
    std::string baseURL() const;

    // One admin call: method "GET" or "POST", a path under /_sandbox/ (or any path),
    // and a JSON body (null for none). Returns the JSON answer.
    boost::json::value admin(std::string_view method, const std::string& path,
                             const boost::json::value& body = nullptr);

    // Creates a mailbox and returns its account id ("google:SUB" or "microsoft:ID"). `extra` may
    // hold "subjectID", "mail" (null, "" or a text) and "userPrincipalName".
    std::string createMailbox(std::string_view provider, const std::string& email,
                              const std::string& name = "Sandbox User",
                              const boost::json::object& extra = {});
    // Tokens for the mailbox without the browser flow; the sandbox's default lifetime when
    // `expiresIn` is absent, an already expired access token with 0.
    SandboxTokens issueTokens(const std::string& accountID,
                              std::optional<std::int64_t> expiresIn = std::nullopt);
    // Adds a message described as in tools/sandbox/README.md; returns the provider's message id.
    std::string addMessage(const std::string& accountID, const boost::json::object& description);
    // Every token of the mailbox stops working: access tokens get 401, refresh invalid_grant.
    void revokeTokens(const std::string& accountID);
    // Replaces the endpoint's fault queue (statuses or fault objects) and optionally its delay.
    void setFault(const std::string& endpoint, const boost::json::array& queue,
                  std::optional<std::int64_t> delayMilliseconds = std::nullopt);
    void changeSettings(const boost::json::object& settings);
    // {"requests":{endpoint:n},"connections":{"total":n,"families":{family:n}}}
    boost::json::object counters();
    void resetCounters();

    // The product's OAuthConfig.json pointing at this sandbox (the sandbox's own, for its demo
    // port, with this instance's address).
    boost::json::object productConfig() const;

  private:
    struct AdminClient;

    // Destroyed after the client: the sandbox outlives the client's last connection.
    std::unique_ptr<Process> process_;
    int port_ = 0;
    std::unique_ptr<AdminClient> client_;
};

}  // namespace loftwing::test
