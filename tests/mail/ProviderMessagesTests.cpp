#include "mail/ProviderMessages.h"

#include "helpers/Fixtures.h"
#include "mail/MessageNormalization.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

#include <string>

namespace loftwing {
namespace {

TEST(ProviderMessages, DecodesGmailAndGraphShapes) {
    // Shaped like the Gmail API reference's users.messages.get (format=full) answer.
    const auto gmail = decodeGmailMessage(test::fixture("gmail_message", "api_reference"));
    ASSERT_TRUE(gmail);
    EXPECT_EQ(gmail->id, "18c2f0a1b2c3d4e5");
    EXPECT_EQ(gmail->internalDate, "1765046857123");
    ASSERT_TRUE(gmail->payload && gmail->payload->parts);
    ASSERT_EQ(gmail->payload->parts->size(), 3u);
    EXPECT_EQ((*gmail->payload->parts)[1].body->data,
              "PHA-WW91ciBjb2RlIGlzIDxiPjQ4MjkxMzwvYj48L3A-");
    EXPECT_FALSE((*gmail->payload->parts)[2].body->data);

    // Shaped like Microsoft Graph's list messages answer with $select.
    const auto graph = decodeGraphListResponse(test::fixture("graph_list", "api_reference"));
    ASSERT_EQ(graph.value.size(), 2u);
    EXPECT_EQ(graph.value[0].from->emailAddress.address, "no-reply@example.net");
    EXPECT_EQ(graph.value[0].body->content, "<p>Your code is 482913</p>");
    EXPECT_FALSE(graph.value[1].subject);
    EXPECT_FALSE(graph.value[1].from);
}

TEST(ProviderMessages, RejectsWhatDoesNotDecode) {
    const char* gmailRows[] = {
        R"({"internalDate": "1"})",                                    // no id
        R"({"id": "m", "payload": {"headers": [{"name": "From"}]}})",  // header without value
        R"({"id": "m", "payload": {"parts": {}}})",                    // parts not a list
        R"({"id": "m", "payload": {"parts": [{"parts": [7]}]}})",  // a nested part not an object
        R"({"id": "m",)",                                          // not JSON
    };
    for (const auto* json : gmailRows) {
        SCOPED_TRACE(json);
        EXPECT_THROW(decodeGmailMessage(json), JsonDecodingError);
    }
    const char* graphRows[] = {
        R"({"value": [{"id": "x"}]})",
        R"({"value": [{"id": "x", "receivedDateTime": "t", "from": {"emailAddress": {}}}]})",
        R"({"value": [{"id": "x", "receivedDateTime": "t", "body": {"contentType": "text"}}]})",
    };
    for (const auto* json : graphRows) {
        SCOPED_TRACE(json);
        EXPECT_THROW(decodeGraphListResponse(json), JsonDecodingError);
    }
    EXPECT_THROW(decodeGmailFailureResponse("{}"), JsonDecodingError);
    EXPECT_EQ(decodeGmailListResponse("{}"), GmailListResponse{});
}

std::string nestedGmailMessage(int levels) {
    std::string json = R"({"id": "deep", "payload": )";
    for (int i = 0; i < levels; ++i) {
        json += R"({"mimeType": "multipart/mixed", "parts": [)";
    }
    json += R"({"mimeType": "text/plain", "body": {"data": "aGk"}})";
    for (int i = 0; i < levels; ++i) {
        json += "]}";
    }
    return json + "}";
}

TEST(ProviderMessages, DeeplyNestedMessages) {
    // The deepest message the parser accepts: 2,046 levels, two JSON levels each, plus the
    // message and the innermost part.
    const auto deepest = decodeGmailMessage(nestedGmailMessage(2046));
    ASSERT_TRUE(deepest);
    const StoredAccount account{{"a", MailProvider::google, "a@example.com", {}}, {}};
    EXPECT_EQ(normalizeGmailMessage(*deepest, account, Timestamp{})->text,
              std::string(2046, '\n') + "hi");
    // Beyond the parser's depth the message is left out instead of failing the mailbox.
    EXPECT_FALSE(decodeGmailMessage(nestedGmailMessage(2047)));
    EXPECT_THROW(decodeGmailListResponse(std::string(5000, '[') + std::string(5000, ']')),
                 JsonDecodingError);
}

}  // namespace
}  // namespace loftwing
