#include "SandboxTest.h"

#include <boost/json.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace loftwing::test {
namespace {

namespace json = boost::json;

using SandboxAdminTest = SandboxTest;

TEST_F(SandboxAdminTest, QueuedFaultsAreAnsweredInOrderBeforeNormalService) {
    sandbox.setFault(
        "gmail.list",
        {503, json::object{{"status", 403}, {"reasons", {"madeUp", "dailyLimitExceeded"}}},
         json::object{{"status", 429}, {"retryAfter", 2}},
         json::object{{"status", 200}, {"body", "<html>not json</html>"}},
         json::object{{"drop", true}}});
    SandboxClient fresh(sandbox.port(), false);
    const std::string list = "/gmail/v1/users/me/messages?q=after:0&maxResults=20";
    struct Row {
        const char* name;
        int status;
        std::vector<std::string> reasons;  // of a Google error body
    };
    const Row rows[] = {
        {"503", 503, {"backendError"}},
        {"403 with reasons", 403, {"madeUp", "dailyLimitExceeded"}},
        {"429", 429, {"rateLimitExceeded"}},
        {"not json", 200, {}},
        {"dropped", 0, {}},
        {"normal service", 200, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClientResponse answer = fresh.get(list, gmailToken);
        EXPECT_EQ(answer.status, row.status);
        if (!row.reasons.empty()) {
            const json::object error = answer.json().at("error").as_object();
            EXPECT_EQ(error.at("code").as_int64(), row.status);
            std::vector<std::string> reasons;
            for (const json::value& item : error.at("errors").as_array()) {
                reasons.emplace_back(item.at("reason").as_string());
            }
            EXPECT_EQ(reasons, row.reasons);
        }
        if (row.status == 429) {
            EXPECT_EQ(answer.header("Retry-After"), "2");
        }
        if (std::string(row.name) == "not json") {
            EXPECT_EQ(answer.body, "<html>not json</html>");
        }
    }
}

TEST_F(SandboxAdminTest, FaultsTakeEachProvidersErrorShape) {
    sandbox.setFault("graph.messages", {503});
    sandbox.setFault("microsoft.oauth.token", {500});
    sandbox.setFault("google.oauth.token",
                     {json::object{{"status", 400}, {"error", "invalid_grant"}}});

    ClientResponse graphAnswer = client.get("/v1.0/me/mailFolders/inbox/messages", graphToken);
    EXPECT_EQ(graphAnswer.status, 503);
    EXPECT_EQ(graphAnswer.json().at("error").at("code").as_string(), "ServiceNotAvailable");

    ClientResponse microsoftToken = client.postForm("/microsoft/oauth/token", {});
    EXPECT_EQ(microsoftToken.status, 500);
    EXPECT_EQ(microsoftToken.json().at("error").as_string(), "server_error");

    ClientResponse googleToken = client.postForm("/google/oauth/token", {});
    EXPECT_EQ(googleToken.status, 400);
    EXPECT_EQ(googleToken.json().at("error").as_string(), "invalid_grant");

    EXPECT_THROW(sandbox.setFault("gmail.lsit", {503}), std::runtime_error);
}

TEST_F(SandboxAdminTest, DelayAppliesToEveryRequestOfTheEndpointOnly) {
    sandbox.setFault("graph.me", {}, 150);
    for (int i = 0; i < 2; ++i) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.get("/v1.0/me", graphToken).status, 200);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    }
    json::object faults = sandbox.admin("GET", "/_sandbox/faults").as_object();
    EXPECT_EQ(faults.at("graph.me").at("delayMs").as_int64(), 150);
    EXPECT_FALSE(faults.contains("gmail.list"));
}

TEST_F(SandboxAdminTest, CountersCountRequestsAndAcceptedConnectionsPerFamily) {
    sandbox.resetCounters();
    SandboxClient reusing(sandbox.port(), true);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reusing.get("/gmail/v1/users/me/messages?q=after:0", gmailToken).status, 200);
    }
    EXPECT_EQ(reusing.get("/v1/userinfo", gmailToken).status, 200);
    SandboxClient fresh(sandbox.port(), false);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(fresh.get("/v1.0/me", graphToken).status, 200);
    }
    const json::object counters = sandbox.counters();
    const json::object& requests = counters.at("requests").as_object();
    EXPECT_EQ(requests.at("gmail.list").as_int64(), 3);
    EXPECT_EQ(requests.at("google.userinfo").as_int64(), 1);
    EXPECT_EQ(requests.at("graph.me").as_int64(), 2);
    const json::object& connections = counters.at("connections").as_object();
    EXPECT_EQ(connections.at("total").as_int64(), 3);
    const json::object& families = connections.at("families").as_object();
    EXPECT_EQ(families.at("gmail").as_int64(), 1);
    EXPECT_EQ(families.at("google.userinfo").as_int64(), 1);
    EXPECT_EQ(families.at("graph").as_int64(), 2);

    sandbox.resetCounters();
    const json::object cleared = sandbox.counters();
    EXPECT_FALSE(cleared.at("requests").as_object().contains("gmail.list"));
    EXPECT_EQ(cleared.at("connections").at("total").as_int64(), 0);
}

TEST_F(SandboxAdminTest, EchoAnswersWhatItReceivedAndTakesFaults) {
    ClientResponse echoed = client.postForm("/_sandbox/echo/a?x=1", {{"code", "4/0+x"}});
    ASSERT_EQ(echoed.status, 200);
    const json::object body = echoed.json().as_object();
    EXPECT_EQ(body.at("method").as_string(), "POST");
    EXPECT_EQ(body.at("path").as_string(), "/_sandbox/echo/a");
    EXPECT_EQ(json::serialize(body.at("query")), R"({"x":"1"})");
    EXPECT_EQ(body.at("body").as_string(), "code=4%2F0%2Bx");
    EXPECT_EQ(body.at("headers").at("Content-Type").as_string(),
              "application/x-www-form-urlencoded");

    EXPECT_EQ(client.get("/_sandbox/echo?status=502").status, 502);
    EXPECT_EQ(client.get("/_sandbox/echo?size=5000").body.size(), 5000u);
    sandbox.setFault("echo", {json::object{{"drop", true}}});
    EXPECT_EQ(client.get("/_sandbox/echo").status, 0);
    EXPECT_EQ(client.get("/_sandbox/echo").status, 200);
}

TEST_F(SandboxAdminTest, RefusedAdminCallsSayWhy) {
    struct Row {
        const char* name;
        const char* method;
        std::string path;
        json::value body;
    };
    const Row rows[] = {
        {"duplicate mailbox", "POST", "/_sandbox/mailboxes",
         json::object{
             {"provider", "google"}, {"email", "x@example.com"}, {"subjectID", gmail.substr(7)}}},
        {"unknown provider", "POST", "/_sandbox/mailboxes", json::object{{"provider", "yahoo"}}},
        {"tokens for nobody", "POST", "/_sandbox/mailboxes/google:nobody/tokens", json::object{}},
        {"bad consent mode", "POST", "/_sandbox/settings", json::object{{"autoConsent", "maybe"}}},
        {"malformed fault", "POST", "/_sandbox/faults",
         json::object{{"endpoint", "gmail.get"}, {"queue", json::array{"503"}}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_THROW(sandbox.admin(row.method, row.path, row.body), std::runtime_error);
    }
}

TEST_F(SandboxAdminTest, ProductConfigPointsAtThisInstance) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("sandbox-config-" + std::to_string(sandbox.port()));
    const std::string path = sandbox.writeProductConfig(dir);
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    const json::value config = json::parse(text.str());
    std::filesystem::remove_all(dir);
    const std::string base = sandbox.baseURL();
    EXPECT_EQ(config.at("google").at("tokenEndpoint").as_string(), base + "/google/oauth/token");
    EXPECT_EQ(config.at("microsoft").at("profileURL").as_string(),
              base + "/v1.0/me?$select=id,displayName,mail,userPrincipalName");
    EXPECT_EQ(config.at("microsoft").at("apiBaseURL").as_string(), base);
    EXPECT_FALSE(config.as_object().contains("keychainAccessGroup"));

    // The checked-in demo configuration differs from this one only in the port.
    const char* source = std::getenv("ZEVIRUDI_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream demoFile(std::filesystem::path(source) / "tools/sandbox/OAuthConfig.json");
    std::stringstream demoText;
    demoText << demoFile.rdbuf();
    EXPECT_EQ(json::parse(demoText.str()), sandboxProductConfig("http://127.0.0.1:47613"));
}

}  // namespace
}  // namespace loftwing::test
