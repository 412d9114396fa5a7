#include "mail/MessageNormalization.h"

#include "mail/HTMLSanitizer.h"
#include "support/Base64.h"
#include "support/Text.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <unordered_map>

namespace loftwing {
namespace {

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Full Unicode lower-casing, with a shortcut for the ASCII text that header names and MIME types
// nearly always are.
std::string lowerCased(std::string_view text) {
    if (!isASCII(text)) {
        return lowercased(text);
    }
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c + ('a' - 'A'));
        }
    }
    return out;
}

bool equalsIgnoringCase(std::string_view text, std::string_view asciiLowerName) {
    if (isASCII(text)) {
        return lowerCased(text) == asciiLowerName;
    }
    const auto folded = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    const auto name = icu::UnicodeString::fromUTF8(
        icu::StringPiece(asciiLowerName.data(), static_cast<int32_t>(asciiLowerName.size())));
    return folded.caseCompare(name, U_FOLD_CASE_DEFAULT) == 0;
}

// The whole text as a decimal floating-point number of milliseconds, as a time point.
std::optional<Timestamp> parseInternalDate(std::string_view text) {
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
            return std::nullopt;
        }
    }
    double milliseconds = 0;
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, milliseconds);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    // Infinity, NaN and instants beyond what nanoseconds since 1970 hold (about ±292 years) give
    // no instant; the caller uses the current time.
    constexpr double representableMilliseconds = 9.2e12;
    if (!std::isfinite(milliseconds) || std::fabs(milliseconds) > representableMilliseconds) {
        return std::nullopt;
    }
    // Whole milliseconds (what Gmail sends) convert exactly; through a double of nanoseconds they
    // would be off by up to a hundred nanoseconds.
    if (std::trunc(milliseconds) == milliseconds) {
        return Timestamp{std::chrono::milliseconds{static_cast<std::int64_t>(milliseconds)}};
    }
    return fromMillisecondsSince1970(milliseconds);
}

std::string messageID(const StoredAccount& account, const std::string& providerID) {
    return account.account.id + ":" + providerID;
}

}  // namespace

std::optional<MailMessage> normalizeGmailMessage(GmailMessage message, const StoredAccount& account,
                                                 Timestamp now) {
    if (!message.payload) {
        return std::nullopt;
    }
    const GmailPayload& payload = *message.payload;

    std::unordered_map<std::string, std::string> headers;
    if (payload.headers) {
        for (const auto& header : *payload.headers) {
            headers.try_emplace(lowerCased(header.name), header.value);  // the first one wins
        }
    }
    auto header = [&headers](const std::string& name) -> const std::string* {
        const auto found = headers.find(name);
        return found == headers.end() ? nullptr : &found->second;
    };

    MailMessage out;
    out.id = messageID(account, message.id);
    out.accountID = account.account.id;
    out.provider = MailProvider::google;
    out.accountEmail = account.account.email;
    const auto* from = header("from");
    out.sender = from ? *from : "Unknown sender";
    const auto* subject = header("subject");
    out.subject = subject ? *subject : "";
    const auto* authentication = header("authentication-results");
    out.senderAuthenticated = isSenderAuthenticated(authentication ? *authentication : "");

    auto bodies = extractBodies(payload.mimeType, payload.body ? payload.body->data : std::nullopt,
                                payload.parts);
    message.payload.reset();
    out.text = std::move(bodies.text);
    out.html = sanitizedHTML(bodies.html);

    const auto internalDate =
        message.internalDate ? parseInternalDate(*message.internalDate) : std::nullopt;
    out.receivedAt = internalDate.value_or(now);
    return out;
}

std::optional<MailMessage> normalizeGraphMessage(const GraphMessage& message,
                                                 const StoredAccount& account) {
    const auto receivedAt = parseGraphDate(message.receivedDateTime);
    if (!receivedAt) {
        return std::nullopt;
    }

    std::string authentication;
    bool first = true;
    if (message.internetMessageHeaders) {
        for (const auto& header : *message.internetMessageHeaders) {
            if (!equalsIgnoringCase(header.name, "authentication-results")) {
                continue;
            }
            if (!first) {
                authentication += ' ';
            }
            authentication += header.value;
            first = false;
        }
    }

    MailMessage out;
    out.id = messageID(account, message.id);
    out.accountID = account.account.id;
    out.provider = MailProvider::microsoft;
    out.accountEmail = account.account.email;
    out.sender = message.from ? message.from->emailAddress.address : "Unknown sender";
    out.senderAuthenticated = isSenderAuthenticated(authentication);
    out.subject = message.subject.value_or("");
    out.text = message.bodyPreview.value_or("");
    out.html = message.body ? sanitizedHTML(message.body->content) : "";
    out.receivedAt = *receivedAt;
    return out;
}

ExtractedBodies extractBodies(const std::optional<std::string>& mimeType,
                              const std::optional<std::string>& data,
                              const std::optional<std::vector<GmailPayload>>& parts) {
    ExtractedBodies out;
    // Each node's own body goes straight to the output, preceded by the line feeds that the node
    // and its not-yet-opened ancestors owe. A part owes one line feed when anything in its subtree
    // is not empty, and a node's own body precedes its parts' bodies, so the first non-empty body
    // inside a part is where that part's line feed belongs.
    std::size_t textOpened = 0;  // how many parts on the current path have written their line feed
    std::size_t htmlOpened = 0;
    auto appendOwnBody = [&](const std::optional<std::string>& type,
                             const std::optional<std::string>& bytes, std::size_t depth) {
        if (!bytes || !type) {
            return;
        }
        const auto lowerType = lowerCased(*type);
        const bool isHTML = lowerType == "text/html";
        if (!isHTML && lowerType != "text/plain") {
            return;  // containers, attachments, calendars, types with parameters
        }
        const auto decoded = decodeBase64URL(*bytes);
        if (!decoded || decoded->empty()) {
            return;
        }
        std::string& target = isHTML ? out.html : out.text;
        std::size_t& opened = isHTML ? htmlOpened : textOpened;
        target.append(depth - opened, '\n');
        opened = depth;
        target.append(*decoded);
    };

    struct Frame {
        const std::vector<GmailPayload>* parts;
        std::size_t next;
        std::size_t depth;  // of the node whose parts these are
    };
    std::vector<Frame> pending;
    appendOwnBody(mimeType, data, 0);
    if (parts) {
        pending.push_back(Frame{&*parts, 0, 0});
    }
    while (!pending.empty()) {
        Frame& frame = pending.back();
        if (frame.next == frame.parts->size()) {
            pending.pop_back();
            continue;
        }
        const GmailPayload& part = (*frame.parts)[frame.next++];
        const std::size_t depth = frame.depth + 1;
        // The earlier siblings' subtrees are finished; their line feeds are not this part's.
        textOpened = std::min(textOpened, frame.depth);
        htmlOpened = std::min(htmlOpened, frame.depth);
        appendOwnBody(part.mimeType, part.body ? part.body->data : std::nullopt, depth);
        if (part.parts) {
            pending.push_back(Frame{&*part.parts, 0, depth});
        }
    }
    return out;
}

std::optional<std::string> decodeBase64URL(std::string_view text) {
    // Mapped to the standard alphabet and decoded a slice at a time, so that a large body costs
    // its decoded bytes and not a second copy of its text. A slice is a whole number of 4-character
    // groups, so only the last one can need or hold padding.
    constexpr std::size_t slice = 16 * 1024;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3 + 3);
    std::string standard;
    for (std::size_t at = 0; at < text.size(); at += slice) {
        standard.assign(text.substr(at, slice));
        for (char& c : standard) {
            if (c == '-') {
                c = '+';
            } else if (c == '_') {
                c = '/';
            }
        }
        if (at + slice >= text.size()) {
            standard.append((4 - standard.size() % 4) % 4, '=');
        } else if (standard.find('=') != std::string::npos) {
            return std::nullopt;
        }
        const auto decoded = base64DecodeStrict(standard);
        if (!decoded) {
            return std::nullopt;
        }
        bytes += *decoded;
    }
    if (!isValidUTF8(bytes)) {
        return std::nullopt;
    }
    return bytes;
}

bool isSenderAuthenticated(std::string_view authenticationResults) {
    const auto text = lowerCased(authenticationResults);
    if (text.find("dmarc=pass") != std::string::npos) {
        return true;
    }
    return text.find("dkim=pass") != std::string::npos &&
           text.find("spf=pass") != std::string::npos;
}

std::optional<Timestamp> parseGraphDate(std::string_view text) {
    if (auto withFraction = parseRFC3339(text, true)) {
        return withFraction;
    }
    return parseRFC3339(text, false);
}

}  // namespace loftwing
