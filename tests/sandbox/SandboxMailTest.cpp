#include "SandboxTest.h"

#include <sodium.h>
#include <boost/json.hpp>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace loftwing::test {
namespace {

namespace json = boost::json;

// A fixed instant (2026-03-01T12:00:00.123Z) so that dates can be compared as text.
constexpr std::int64_t baseTime = 1772366400123;

std::optional<std::string> base64URLDecoded(const std::string& text) {
    std::string bytes(text.size(), '\0');
    std::size_t length = 0;
    if (sodium_base642bin(reinterpret_cast<unsigned char*>(bytes.data()), bytes.size(),
                          text.c_str(), text.size(), nullptr, &length, nullptr,
                          sodium_base64_VARIANT_URLSAFE_NO_PADDING) != 0) {
        return std::nullopt;
    }
    bytes.resize(length);
    return bytes;
}

std::string headerValue(const json::object& payload, const std::string& name) {
    for (const json::value& header : payload.at("headers").as_array()) {
        if (header.at("name").as_string() == name) {
            return std::string(header.at("value").as_string());
        }
    }
    return {};
}

class SandboxMailTest : public SandboxTest {
  protected:
    SandboxMailTest() { EXPECT_GE(sodium_init(), 0); }

    json::object getJSON(const std::string& path, const std::string& token) {
        ClientResponse answer = client.get(path, token);
        EXPECT_EQ(answer.status, 200) << path << ": " << answer.body;
        return answer.status == 200 ? answer.json().as_object() : json::object();
    }
};

TEST_F(SandboxMailTest, GmailListsNewestFirstInPagesAndOnlyAfterTheQueryTime) {
    std::vector<std::string> ids;  // oldest first
    for (int i = 0; i < 45; ++i) {
        ids.push_back(sandbox.addMessage(gmail, {{"subject", "n" + std::to_string(i)},
                                                 {"text", "x"},
                                                 {"receivedAt", baseTime + i * 1000}}));
    }
    std::vector<std::string> listed;
    std::string path = "/gmail/v1/users/me/messages?q=after:0&maxResults=20";
    std::vector<std::size_t> pageSizes;
    for (int page = 0; page < 10; ++page) {
        json::object body = getJSON(path, gmailToken);
        EXPECT_EQ(body.at("resultSizeEstimate").as_int64(), 45);
        const json::array& messages = body.at("messages").as_array();
        pageSizes.push_back(messages.size());
        for (const json::value& reference : messages) {
            listed.emplace_back(reference.at("id").as_string());
            EXPECT_EQ(reference.at("threadId"), reference.at("id"));
        }
        if (!body.contains("nextPageToken")) {
            break;
        }
        path = "/gmail/v1/users/me/messages?q=after:0&maxResults=20&pageToken=" +
               std::string(body.at("nextPageToken").as_string());
    }
    EXPECT_EQ(pageSizes, (std::vector<std::size_t>{20, 20, 5}));
    EXPECT_EQ(listed, std::vector<std::string>(ids.rbegin(), ids.rend()));

    // after:S keeps messages whose internalDate lies after S seconds: here the last 5.
    const std::int64_t after = (baseTime + 40 * 1000) / 1000;
    json::object recent =
        getJSON("/gmail/v1/users/me/messages?q=after:" + std::to_string(after) + "&maxResults=20",
                gmailToken);
    EXPECT_EQ(recent.at("messages").as_array().size(), 5u);
    EXPECT_FALSE(recent.contains("nextPageToken"));

    json::object none =
        getJSON("/gmail/v1/users/me/messages?q=after:4102444800&maxResults=20", gmailToken);
    EXPECT_FALSE(none.contains("messages"));
    EXPECT_EQ(none.at("resultSizeEstimate").as_int64(), 0);
}

TEST_F(SandboxMailTest, GmailMessagesAreRealMessageResources) {
    struct Row {
        const char* name;
        json::object description;
        std::string topType;
        std::vector<std::string> partTypes;  // depth first, below the top
    };
    const Row rows[] = {
        {"text only", {{"text", "Your code is 123456"}}, "text/plain", {}},
        {"alternative",
         {{"text", "Code 1"}, {"html", "<p>Code 1</p>"}},
         "multipart/alternative",
         {"text/plain", "text/html"}},
        {"with attachment",
         {{"text", "See attached ü"}, {"html", "<p>See</p>"}, {"attachment", true}},
         "multipart/mixed",
         {"multipart/alternative", "text/plain", "text/html", "application/pdf"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        json::object description = row.description;
        description["from"] = "Acme <no-reply@acme.example>";
        description["subject"] = "Sign in";
        description["receivedAt"] = baseTime;
        description["authenticationResults"] =
            json::array{"mx.google.com; dkim=pass; spf=pass", "other; dmarc=fail"};
        const std::string id = sandbox.addMessage(gmail, description);
        json::object message =
            getJSON("/gmail/v1/users/me/messages/" + id + "?format=full", gmailToken);
        EXPECT_EQ(message.at("id").as_string(), id);
        EXPECT_EQ(message.at("internalDate").as_string(), std::to_string(baseTime));
        const json::object& payload = message.at("payload").as_object();
        EXPECT_EQ(payload.at("mimeType").as_string(), row.topType);
        EXPECT_EQ(headerValue(payload, "From"), "Acme <no-reply@acme.example>");
        EXPECT_EQ(headerValue(payload, "Subject"), "Sign in");
        EXPECT_EQ(headerValue(payload, "To"), "ann@example.com");
        EXPECT_EQ(headerValue(payload, "Authentication-Results"),
                  "mx.google.com; dkim=pass; spf=pass");
        EXPECT_EQ(headerValue(payload, "Date"), "Sun, 01 Mar 2026 12:00:00 +0000");

        std::vector<std::string> partTypes;
        std::string text;
        std::string html;
        std::function<void(const json::object&)> walk = [&](const json::object& part) {
            const std::string type(part.at("mimeType").as_string());
            if (const json::value* data = part.at("body").as_object().if_contains("data")) {
                const std::string encoded(data->as_string());
                EXPECT_EQ(encoded.find('='), std::string::npos);
                EXPECT_EQ(encoded.find('+'), std::string::npos);
                auto decoded = base64URLDecoded(encoded);
                ASSERT_TRUE(decoded.has_value());
                (type == "text/html" ? html : text) += *decoded;
            }
            if (const json::value* parts = part.if_contains("parts")) {
                for (const json::value& child : parts->as_array()) {
                    partTypes.emplace_back(child.at("mimeType").as_string());
                    walk(child.as_object());
                }
            }
        };
        walk(payload);
        EXPECT_EQ(partTypes, row.partTypes);
        const json::value* expectedText = row.description.if_contains("text");
        EXPECT_EQ(text, expectedText ? std::string(expectedText->as_string()) : std::string());
        const json::value* expectedHTML = row.description.if_contains("html");
        EXPECT_EQ(html, expectedHTML ? std::string(expectedHTML->as_string()) : std::string());
    }

    const std::string vanishing = sandbox.addMessage(gmail, {{"text", "gone"}});
    sandbox.removeMessage(gmail, vanishing);
    EXPECT_EQ(client.get("/gmail/v1/users/me/messages/" + vanishing, gmailToken).status, 404);
    ClientResponse missing =
        client.get("/gmail/v1/users/me/messages/0000000000000000?format=full", gmailToken);
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.json().at("error").at("code").as_int64(), 404);
}

TEST_F(SandboxMailTest, GmailDescriptionsCanOverrideThePayloadAndPadTheBody) {
    const std::string padded = sandbox.addMessage(gmail, {{"text", "abc"}, {"paddingBytes", 1000}});
    json::object message = getJSON("/gmail/v1/users/me/messages/" + padded, gmailToken);
    auto text =
        base64URLDecoded(std::string(message.at("payload").at("body").at("data").as_string()));
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->size(), 1003u);

    const std::string raw = sandbox.addMessage(
        gmail,
        {{"id", "00000000000000aa"}, {"raw", {{"id", "00000000000000aa"}, {"internalDate", "x"}}}});
    EXPECT_EQ(raw, "00000000000000aa");
    json::object bare = getJSON("/gmail/v1/users/me/messages/" + raw, gmailToken);
    EXPECT_EQ(json::serialize(bare), R"({"id":"00000000000000aa","internalDate":"x"})");
}

TEST_F(SandboxMailTest, GraphListsTheInboxAsAskedWithANextLinkWhileMoreExist) {
    for (int i = 0; i < 3; ++i) {
        sandbox.addMessage(graph, {{"from", "Acme Login <login@acme.example>"},
                                   {"subject", "s" + std::to_string(i)},
                                   {"html", "<p>Code <b>77" + std::to_string(i) + "</b></p>"},
                                   {"authenticationResults", json::array{"spf=pass", "dmarc=pass"}},
                                   {"receivedAt", baseTime + i * 1000}});
    }
    const std::string query =
        "?$top=2&$orderby=receivedDateTime%20desc&$select=id,receivedDateTime,subject,from,body,"
        "bodyPreview,internetMessageHeaders";
    json::object first = getJSON("/v1.0/me/mailFolders/inbox/messages" + query, graphToken);
    const json::array& value = first.at("value").as_array();
    ASSERT_EQ(value.size(), 2u);
    const json::object& newest = value[0].as_object();
    EXPECT_EQ(newest.at("subject").as_string(), "s2");
    EXPECT_EQ(newest.at("receivedDateTime").as_string(), "2026-03-01T12:00:02.1230000Z");
    EXPECT_EQ(newest.at("from").at("emailAddress").at("address").as_string(), "login@acme.example");
    EXPECT_EQ(newest.at("from").at("emailAddress").at("name").as_string(), "Acme Login");
    EXPECT_EQ(newest.at("body").at("contentType").as_string(), "html");
    EXPECT_EQ(newest.at("body").at("content").as_string(), "<p>Code <b>772</b></p>");
    EXPECT_EQ(newest.at("bodyPreview").as_string(), "Code 772");
    int authenticationHeaders = 0;
    for (const json::value& header : newest.at("internetMessageHeaders").as_array()) {
        authenticationHeaders += header.at("name").as_string() == "Authentication-Results";
    }
    EXPECT_EQ(authenticationHeaders, 2);
    EXPECT_FALSE(newest.contains("isRead"));  // not selected

    const std::string next(first.at("@odata.nextLink").as_string());
    EXPECT_TRUE(next.starts_with(sandbox.baseURL() + "/v1.0/me/mailFolders/inbox/messages?"));
    json::object second = getJSON(next.substr(sandbox.baseURL().size()), graphToken);
    ASSERT_EQ(second.at("value").as_array().size(), 1u);
    EXPECT_EQ(second.at("value").at(0).at("subject").as_string(), "s0");
    EXPECT_FALSE(second.contains("@odata.nextLink"));
}

}  // namespace
}  // namespace loftwing::test
