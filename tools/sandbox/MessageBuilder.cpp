#include "MessageBuilder.h"

#include "Crypto.h"

#include <boost/json.hpp>

#include <cstdio>
#include <ctime>
#include <stdexcept>

namespace zevirudi::sandbox {

namespace json = boost::json;

namespace {

struct Address {
    std::string name;
    std::string address;
};

// "Name <user@host>" or a bare address.
Address splitAddress(const std::string& text) {
    auto open = text.rfind('<');
    auto close = text.rfind('>');
    if (open == std::string::npos || close == std::string::npos || close < open) {
        return {text, text};
    }
    std::string name = text.substr(0, open);
    while (!name.empty() && (name.back() == ' ' || name.back() == '"')) {
        name.pop_back();
    }
    while (!name.empty() && (name.front() == ' ' || name.front() == '"')) {
        name.erase(0, 1);
    }
    std::string address = text.substr(open + 1, close - open - 1);
    return {name.empty() ? address : name, address};
}

std::tm utcTime(std::int64_t millisecondsSinceEpoch, std::int64_t* fractionMilliseconds) {
    std::int64_t seconds = millisecondsSinceEpoch / 1000;
    std::int64_t fraction = millisecondsSinceEpoch % 1000;
    if (fraction < 0) {
        fraction += 1000;
        seconds -= 1;
    }
    *fractionMilliseconds = fraction;
    std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    return parts;
}

json::object header(const std::string& name, const std::string& value) {
    return json::object{{"name", name}, {"value", value}};
}

json::array messageHeaders(const MessageDescription& description, const std::string& id,
                           std::int64_t receivedAt, const std::string& to,
                           const std::string& contentType) {
    json::array headers;
    headers.push_back(header("Delivered-To", to));
    headers.push_back(header(
        "Received", "from mail.example.com by mx.sandbox.invalid; " + rfc2822Date(receivedAt)));
    for (const std::string& results : description.authenticationResults) {
        headers.push_back(header("Authentication-Results", results));
    }
    headers.push_back(header("From", description.from));
    headers.push_back(header("To", to));
    headers.push_back(header("Subject", description.subject));
    headers.push_back(header("Date", rfc2822Date(receivedAt)));
    headers.push_back(header("Message-ID", "<" + id + "@sandbox.invalid>"));
    headers.push_back(header("MIME-Version", "1.0"));
    headers.push_back(header("Content-Type", contentType));
    return headers;
}

json::object leafPart(const std::string& partID, const std::string& mimeType,
                      const std::string& content) {
    json::object body{{"size", content.size()}};
    if (!content.empty()) {
        body["data"] = base64URL(content);
    }
    return json::object{
        {"partId", partID},
        {"mimeType", mimeType},
        {"filename", ""},
        {"headers", json::array{header("Content-Type", mimeType + "; charset=\"UTF-8\""),
                                header("Content-Transfer-Encoding", "quoted-printable")}},
        {"body", std::move(body)},
    };
}

json::object multipart(const std::string& partID, const std::string& subtype, json::array parts) {
    std::string boundary = "000000000000sbx" + subtype;
    return json::object{
        {"partId", partID},
        {"mimeType", "multipart/" + subtype},
        {"filename", ""},
        {"headers", json::array{header("Content-Type", "multipart/" + subtype + "; boundary=\"" +
                                                           boundary + "\"")}},
        {"body", json::object{{"size", 0}}},
        {"parts", std::move(parts)},
    };
}

// Prefixes a part id, so that a part moved below a multipart gets the nested numbering.
void renumber(json::object& part, const std::string& partID) {
    part["partId"] = partID;
    if (json::value* parts = part.if_contains("parts")) {
        std::size_t index = 0;
        for (json::value& child : parts->as_array()) {
            renumber(child.as_object(), partID + "." + std::to_string(index++));
        }
    }
}

json::object bodyStructure(const std::string& text, const std::string& html, bool hasText,
                           bool hasHTML) {
    if (hasText && hasHTML) {
        return multipart(
            "", "alternative",
            json::array{leafPart("0", "text/plain", text), leafPart("1", "text/html", html)});
    }
    if (hasHTML) {
        return leafPart("", "text/html", html);
    }
    return leafPart("", "text/plain", text);
}

json::object attachmentPart(const AttachmentDescription& attachment) {
    return json::object{
        {"partId", "1"},
        {"mimeType", attachment.mimeType},
        {"filename", attachment.filename},
        {"headers",
         json::array{
             header("Content-Type", attachment.mimeType + "; name=\"" + attachment.filename + "\""),
             header("Content-Disposition", "attachment; filename=\"" + attachment.filename + "\""),
             header("Content-Transfer-Encoding", "base64")}},
        {"body",
         json::object{{"attachmentId", "ANGjdJ" + randomToken(24)}, {"size", attachment.size}}},
    };
}

std::string topContentType(const json::object& payload) {
    for (const json::value& item : payload.at("headers").as_array()) {
        if (item.at("name").as_string() == "Content-Type") {
            return std::string(item.at("value").as_string());
        }
    }
    return "text/plain";
}

// At most `limit` bytes of `text`, never splitting a UTF-8 sequence.
std::string prefixOfUTF8(const std::string& text, std::size_t limit) {
    if (text.size() <= limit) {
        return text;
    }
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return text.substr(0, cut);
}

// Graph's bodyPreview: the body as plain text, white space collapsed, at most 255 characters.
std::string bodyPreview(const std::string& source, bool isHTML) {
    std::string preview;
    bool inTag = false;
    bool pendingSpace = false;
    for (char c : source) {
        if (isHTML && c == '<') {
            inTag = true;
            pendingSpace = true;
            continue;
        }
        if (inTag) {
            inTag = c != '>';
            continue;
        }
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            pendingSpace = true;
            continue;
        }
        if (pendingSpace && !preview.empty()) {
            preview += ' ';
        }
        pendingSpace = false;
        preview += c;
    }
    return prefixOfUTF8(preview, 255);
}

std::string snippet(const std::string& text) {
    return prefixOfUTF8(bodyPreview(text, false), 200);
}

}  // namespace

MessageDescription messageDescriptionFromJSON(const json::object& object) {
    MessageDescription description;
    auto text = [&](const char* key) -> std::optional<std::string> {
        const json::value* value = object.if_contains(key);
        if (value == nullptr || value->is_null()) {
            return std::nullopt;
        }
        return std::string(value->as_string());
    };
    description.id = text("id");
    description.from = text("from").value_or(description.from);
    description.to = text("to");
    description.subject = text("subject").value_or("");
    description.text = text("text");
    description.html = text("html");
    if (const json::value* results = object.if_contains("authenticationResults")) {
        for (const json::value& item : results->as_array()) {
            description.authenticationResults.emplace_back(item.as_string());
        }
    }
    if (const json::value* receivedAt = object.if_contains("receivedAt")) {
        description.receivedAtMilliseconds = receivedAt->to_number<std::int64_t>();
    }
    if (const json::value* attachment = object.if_contains("attachment")) {
        if (attachment->is_object()) {
            AttachmentDescription described;
            const json::object& fields = attachment->as_object();
            if (const json::value* name = fields.if_contains("filename")) {
                described.filename = std::string(name->as_string());
            }
            if (const json::value* type = fields.if_contains("mimeType")) {
                described.mimeType = std::string(type->as_string());
            }
            if (const json::value* size = fields.if_contains("size")) {
                described.size = size->to_number<std::size_t>();
            }
            description.attachment = described;
        } else if (attachment->as_bool()) {
            description.attachment = AttachmentDescription{};
        }
    }
    if (const json::value* padding = object.if_contains("paddingBytes")) {
        description.paddingBytes = padding->to_number<std::size_t>();
        if (description.paddingBytes > 64 * 1024 * 1024) {
            throw std::invalid_argument("paddingBytes is at most 64 MiB");
        }
    }
    if (const json::value* payload = object.if_contains("payload")) {
        description.payload = payload->as_object();
    }
    if (const json::value* raw = object.if_contains("raw")) {
        description.raw = raw->as_object();
    }
    return description;
}

json::object gmailMessageResource(const MessageDescription& description, const std::string& id,
                                  std::int64_t receivedAt, const std::string& mailboxAddress) {
    if (description.raw) {
        return *description.raw;
    }
    std::string text = description.text.value_or("");
    std::string html = description.html.value_or("");
    const bool hasHTML = description.html.has_value();
    const bool hasText = description.text.has_value() || !hasHTML;
    (hasText ? text : html).append(description.paddingBytes, 'x');

    json::object payload = bodyStructure(text, html, hasText, hasHTML);
    if (description.attachment) {
        renumber(payload, "0");
        payload = multipart(
            "", "mixed", json::array{std::move(payload), attachmentPart(*description.attachment)});
    }
    std::string contentType = topContentType(payload);
    payload["headers"] = messageHeaders(description, id, receivedAt,
                                        description.to.value_or(mailboxAddress), contentType);
    if (description.payload) {
        payload = *description.payload;
    }
    const std::size_t size = text.size() + html.size() + 1024;
    return json::object{
        {"id", id},
        {"threadId", id},
        {"labelIds", json::array{"INBOX", "UNREAD", "CATEGORY_PERSONAL"}},
        {"snippet", snippet(hasText ? text : html)},
        {"historyId", std::to_string(1000 + receivedAt % 100000)},
        {"internalDate", std::to_string(receivedAt)},
        {"payload", std::move(payload)},
        {"sizeEstimate", size},
    };
}

json::object graphMessageResource(const MessageDescription& description, const std::string& id,
                                  std::int64_t receivedAt, const std::string& mailboxAddress) {
    if (description.raw) {
        return *description.raw;
    }
    const bool isHTML = description.html.has_value();
    std::string content = isHTML ? *description.html : description.text.value_or("");
    std::string preview =
        bodyPreview(description.text.value_or(content), !description.text.has_value() && isHTML);
    content.append(description.paddingBytes, 'x');
    Address from = splitAddress(description.from);
    std::string to = description.to.value_or(mailboxAddress);
    json::object emailAddress{{"name", from.name}, {"address", from.address}};

    json::array headers;
    for (const json::value& item : messageHeaders(
             description, id, receivedAt, to,
             isHTML ? "text/html; charset=\"utf-8\"" : "text/plain; charset=\"utf-8\"")) {
        if (item.at("name").as_string() != "Delivered-To") {
            headers.push_back(item);
        }
    }
    return json::object{
        {"@odata.etag", "W/\"CQAAABYAAADsbx" + std::to_string(receivedAt % 1000000) + "\""},
        {"id", id},
        {"receivedDateTime", graphDateTime(receivedAt)},
        {"sentDateTime", graphDateTime(receivedAt - 2000)},
        {"subject", description.subject},
        {"bodyPreview", preview},
        {"importance", "normal"},
        {"isRead", false},
        {"hasAttachments", description.attachment.has_value()},
        {"from", json::object{{"emailAddress", emailAddress}}},
        {"sender", json::object{{"emailAddress", emailAddress}}},
        {"toRecipients",
         json::array{json::object{{"emailAddress", json::object{{"name", to}, {"address", to}}}}}},
        {"body", json::object{{"contentType", isHTML ? "html" : "text"}, {"content", content}}},
        {"internetMessageHeaders", std::move(headers)},
    };
}

std::string graphDateTime(std::int64_t millisecondsSinceEpoch) {
    std::int64_t fraction = 0;
    std::tm parts = utcTime(millisecondsSinceEpoch, &fraction);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    char withFraction[80];
    std::snprintf(withFraction, sizeof withFraction, "%s.%03lld0000Z", text,
                  static_cast<long long>(fraction));
    return withFraction;
}

std::string rfc2822Date(std::int64_t millisecondsSinceEpoch) {
    std::int64_t fraction = 0;
    std::tm parts = utcTime(millisecondsSinceEpoch, &fraction);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &parts);
    return text;
}

}  // namespace zevirudi::sandbox
