#include "mail/ProviderMessages.h"

#include "mail/MessageNormalization.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

#include <string>

namespace loftwing {
namespace {

// Shaped like the Gmail API reference's users.messages.get (format=full) answer.
constexpr const char* gmailFixture = R"json({
  "id": "18c2f0a1b2c3d4e5",
  "labelIds": ["INBOX", "UNREAD"],
  "internalDate": "1765046857123",
  "payload": {
    "partId": "",
    "mimeType": "multipart/alternative",
    "filename": "",
    "headers": [
      {"name": "From", "value": "Example <no-reply@example.net>"},
      {"name": "Subject", "value": "Your code"}
    ],
    "body": {"size": 0},
    "parts": [
      {"partId": "0", "mimeType": "text/plain", "filename": "",
       "headers": [{"name": "Content-Type", "value": "text/plain; charset=\"UTF-8\""}],
       "body": {"size": 19, "data": "WW91ciBjb2RlIGlzIDQ4MjkxMw"}},
      {"partId": "1", "mimeType": "text/html", "filename": "",
       "body": {"size": 26, "data": "PHA-WW91ciBjb2RlIGlzIDxiPjQ4MjkxMzwvYj48L3A-", "attachmentId": null}},
      {"partId": "2", "mimeType": "application/pdf", "filename": "a.pdf",
       "body": {"attachmentId": "ANGjdJ8", "size": 1024}}
    ]
  }
})json";

// Shaped like Microsoft Graph's list messages answer with $select.
constexpr const char* graphFixture = R"json({
  "@odata.context": "https://graph.microsoft.com/v1.0/$metadata#users('me')/mailFolders('inbox')/messages",
  "value": [
    {"id": "AAMkAGI2TG93AAA=",
     "receivedDateTime": "2026-12-06T18:27:37Z", "subject": "Your code",
     "bodyPreview": "Your code is 482913",
     "body": {"contentType": "html", "content": "<p>Your code is 482913</p>"},
     "from": {"emailAddress": {"name": "Example", "address": "no-reply@example.net"}},
     "internetMessageHeaders": [{"name": "Authentication-Results", "value": "dmarc=pass"}]},
    {"id": "AAMkAGI2TG94AAA=", "receivedDateTime": "2026-12-06T18:20:00Z",
     "subject": null, "from": null, "body": null}
  ],
  "@odata.nextLink": "https://graph.microsoft.com/v1.0/me/mailFolders/inbox/messages?$skip=20"
})json";

TEST(ProviderMessages, DecodesGmailAndGraphShapes) {
    const auto gmail = decodeGmailMessage(gmailFixture);
    ASSERT_TRUE(gmail);
    EXPECT_EQ(gmail->id, "18c2f0a1b2c3d4e5");
    EXPECT_EQ(gmail->internalDate, "1765046857123");
    ASSERT_TRUE(gmail->payload && gmail->payload->parts);
    ASSERT_EQ(gmail->payload->parts->size(), 3u);
    EXPECT_EQ((*gmail->payload->parts)[1].body->data,
              "PHA-WW91ciBjb2RlIGlzIDxiPjQ4MjkxMzwvYj48L3A-");
    EXPECT_FALSE((*gmail->payload->parts)[2].body->data);
    const StoredAccount account{ConnectedAccount{"a", MailProvider::google, "a@example.com", {}},
                                OAuthTokenSet{}};
    const auto normalized = normalizeGmailMessage(*gmail, account, Timestamp{});
    ASSERT_TRUE(normalized);
    EXPECT_EQ(normalized->text, "\nYour code is 482913");
    EXPECT_EQ(normalized->html, "\n<p>Your code is <b>482913</b></p>");

    const auto graph = decodeGraphListResponse(graphFixture);
    ASSERT_EQ(graph.value.size(), 2u);
    EXPECT_EQ(graph.value[0].from->emailAddress.address, "no-reply@example.net");
    EXPECT_EQ(graph.value[0].body->content, "<p>Your code is 482913</p>");
    EXPECT_FALSE(graph.value[1].subject);
    EXPECT_FALSE(graph.value[1].from);
}

TEST(ProviderMessages, RejectsWhatDoesNotDecode) {
    const char* gmailRows[] = {
        R"({"internalDate": "1"})",                                    // no id
        R"({"id": 5})",                                                // id not a string
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
        R"({})",
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
    // A thousand MIME levels decode and normalize without recursion trouble, and so does the
    // deepest message the parser accepts (2,046 levels: two JSON levels each, plus the message
    // and the innermost part).
    ASSERT_TRUE(decodeGmailMessage(nestedGmailMessage(2046)));
    const auto message = decodeGmailMessage(nestedGmailMessage(1000));
    ASSERT_TRUE(message);
    const StoredAccount account{ConnectedAccount{"a", MailProvider::google, "a@example.com", {}},
                                OAuthTokenSet{}};
    const auto normalized = normalizeGmailMessage(*message, account, Timestamp{});
    ASSERT_TRUE(normalized);
    EXPECT_EQ(normalized->text, std::string(1000, '\n') + "hi");

    // Beyond the parser's depth the message is left out instead of failing the mailbox.
    EXPECT_FALSE(decodeGmailMessage(nestedGmailMessage(2047)));
    EXPECT_THROW(decodeGmailListResponse(std::string(5000, '[') + std::string(5000, ']')),
                 JsonDecodingError);
}

}  // namespace
}  // namespace loftwing
