#include "helpers/SandboxServer.h"

#include <httplib.h>

#include <boost/json.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <stdexcept>
#include <vector>

namespace loftwing::test {

namespace json = boost::json;

namespace {

// Generous enough for a sanitizer build on a busy machine; the sandbox itself starts in a few
// milliseconds.
constexpr auto startTimeout = std::chrono::seconds(20);

std::filesystem::path sandboxExecutable() {
    if (const char* buildDir = std::getenv("ZEVIRUDI_BUILD_DIR"); buildDir && *buildDir) {
        return std::filesystem::path(buildDir) / "bin" / "zevirudi-sandbox";
    }
    // Test executables are built into the same bin/ folder.
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "zevirudi-sandbox";
}

}  // namespace

struct SandboxServer::AdminClient {
    explicit AdminClient(int port) : client("127.0.0.1", port) {
        client.set_keep_alive(true);
        client.set_tcp_nodelay(true);
        client.set_read_timeout(std::chrono::seconds(30));
    }
    std::mutex mutex;
    httplib::Client client;
};

SandboxServer::SandboxServer()
    : process_(std::make_unique<Process>(
          std::vector<std::string>{sandboxExecutable().string(), "--port", "0"})) {
    const auto line = process_->readLine(startTimeout);
    const std::string prefix = "listening on http://127.0.0.1:";
    if (!line || !line->starts_with(prefix)) {
        throw std::runtime_error("zevirudi-sandbox did not print its address: " +
                                 line.value_or("(nothing)"));
    }
    port_ = std::stoi(line->substr(prefix.size()));
    client_ = std::make_unique<AdminClient>(port_);
}

SandboxServer::~SandboxServer() = default;

std::string SandboxServer::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

json::value SandboxServer::admin(std::string_view method, const std::string& path,
                                 const json::value& body) {
    std::lock_guard lock(client_->mutex);
    const std::string payload = body.is_null() ? std::string() : json::serialize(body);
    httplib::Result result{nullptr, httplib::Error::Unknown};
    if (method == "GET") {
        result = client_->client.Get(path.c_str());
    } else if (method == "POST") {
        result = client_->client.Post(path.c_str(), payload, "application/json");
    } else {
        throw std::invalid_argument("admin method must be GET or POST");
    }
    if (!result) {
        throw std::runtime_error("sandbox admin " + std::string(method) + " " + path +
                                 " failed: " + httplib::to_string(result.error()));
    }
    if (result->status < 200 || result->status > 299) {
        throw std::runtime_error("sandbox admin " + std::string(method) + " " + path +
                                 " answered " + std::to_string(result->status) + ": " +
                                 result->body);
    }
    return json::parse(result->body);
}

std::string SandboxServer::createMailbox(std::string_view provider, const std::string& email,
                                         const std::string& name, const json::object& extra) {
    json::object body = extra;
    body["provider"] = provider;
    body["email"] = email;
    body["name"] = name;
    return std::string(admin("POST", "/_sandbox/mailboxes", body).at("accountID").as_string());
}

SandboxTokens SandboxServer::issueTokens(const std::string& accountID,
                                         std::optional<std::int64_t> expiresIn) {
    json::object body;
    if (expiresIn) {
        body["expiresIn"] = *expiresIn;
    }
    json::value answer = admin("POST", "/_sandbox/mailboxes/" + accountID + "/tokens", body);
    return SandboxTokens{std::string(answer.at("access_token").as_string()),
                         std::string(answer.at("refresh_token").as_string()),
                         answer.at("expires_in").to_number<std::int64_t>()};
}

std::string SandboxServer::addMessage(const std::string& accountID,
                                      const json::object& description) {
    json::value answer =
        admin("POST", "/_sandbox/mailboxes/" + accountID + "/messages", description);
    return std::string(answer.at("id").as_string());
}

void SandboxServer::revokeTokens(const std::string& accountID) {
    admin("POST", "/_sandbox/mailboxes/" + accountID + "/revoke");
}

void SandboxServer::setFault(const std::string& endpoint, const json::array& queue,
                             std::optional<std::int64_t> delayMilliseconds) {
    json::object body{{"endpoint", endpoint}, {"queue", queue}};
    if (delayMilliseconds) {
        body["delayMs"] = *delayMilliseconds;
    }
    admin("POST", "/_sandbox/faults", body);
}

void SandboxServer::changeSettings(const json::object& settings) {
    admin("POST", "/_sandbox/settings", settings);
}

json::object SandboxServer::counters() {
    return admin("GET", "/_sandbox/counters").as_object();
}

void SandboxServer::resetCounters() {
    admin("POST", "/_sandbox/counters/reset");
}

json::object SandboxServer::productConfig() const {
    // The sandbox's own configuration, written for its demo port, pointed at this instance.
    const std::string demoBaseURL = "http://127.0.0.1:47613";
    std::ifstream file(ZEVIRUDI_SANDBOX_CONFIG);
    std::string text{std::istreambuf_iterator<char>(file), {}};
    for (auto at = text.find(demoBaseURL); at != std::string::npos; at = text.find(demoBaseURL)) {
        text.replace(at, demoBaseURL.size(), baseURL());
    }
    return json::parse(text).as_object();
}

}  // namespace loftwing::test
