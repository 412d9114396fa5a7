#pragma once

// Turns a provider's message into the shared MailMessage record. Pure functions: no I/O, no shared
// state, never an error; a message that cannot be normalized yields nothing.

#include "mail/ProviderMessages.h"
#include "records/AccountRecords.h"
#include "records/MailRecords.h"
#include "support/Time.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace loftwing {

struct ExtractedBodies {
    std::string text;
    std::string html;  // not yet sanitized

    friend bool operator==(const ExtractedBodies&, const ExtractedBodies&) = default;
};

// Nothing when the message has no payload. `now` is the arrival time of a message whose
// internalDate is absent or not a number. Takes the message so that its encoded parts are freed
// before the html is cleaned.
std::optional<MailMessage> normalizeGmailMessage(GmailMessage message, const StoredAccount& account,
                                                 Timestamp now);

// Nothing when receivedDateTime does not parse.
std::optional<MailMessage> normalizeGraphMessage(const GraphMessage& message,
                                                 const StoredAccount& account);

// The text/plain and text/html bodies of a MIME tree, depth first, each non-empty part's result
// preceded by one line feed. Walks with an explicit stack, so any nesting depth is safe.
ExtractedBodies extractBodies(const std::optional<std::string>& mimeType,
                              const std::optional<std::string>& data,
                              const std::optional<std::vector<GmailPayload>>& parts);

// Strict base64url (padding optional) of UTF-8 text; nothing for any other input.
std::optional<std::string> decodeBase64URL(std::string_view text);

// Whether Authentication-Results text shows dmarc=pass, or both dkim=pass and spf=pass.
bool isSenderAuthenticated(std::string_view authenticationResults);

// An RFC 3339 date-time with or without fractional seconds; nothing otherwise.
std::optional<Timestamp> parseGraphDate(std::string_view text);

}  // namespace loftwing
