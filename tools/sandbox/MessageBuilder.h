#pragma once

#include "Mailbox.h"

#include <boost/json/object.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zevirudi::sandbox {

struct AttachmentDescription {
    std::string filename = "invoice.pdf";
    std::string mimeType = "application/pdf";
    std::size_t size = 2048;
};

// A message in a few words, as the admin interface takes it.
struct MessageDescription {
    std::optional<std::string> id;
    std::string from = "Sandbox Sender <sender@example.com>";
    std::optional<std::string> to;  // the mailbox's address when absent
    std::string subject;
    std::optional<std::string> text;
    std::optional<std::string> html;
    std::vector<std::string> authenticationResults;
    std::optional<std::int64_t> receivedAtMilliseconds;  // now when absent
    std::optional<AttachmentDescription> attachment;
    std::size_t paddingBytes = 0;                // filler appended to the body
    std::optional<boost::json::object> payload;  // Gmail: replaces the built payload
    std::optional<boost::json::object> raw;      // replaces the whole built resource
};

// Throws std::invalid_argument (or Boost.JSON's errors) on a malformed description.
MessageDescription messageDescriptionFromJSON(const boost::json::object& object);

// The Gmail message resource (format=full) of a description.
boost::json::object gmailMessageResource(const MessageDescription& description,
                                         const std::string& id, std::int64_t receivedAt,
                                         const std::string& mailboxAddress);
// The Graph message of a description, with every field the inbox list can select.
boost::json::object graphMessageResource(const MessageDescription& description,
                                         const std::string& id, std::int64_t receivedAt,
                                         const std::string& mailboxAddress);

// "2026-12-06T18:40:01.1230000Z": Graph's form, seven fractional digits.
std::string graphDateTime(std::int64_t millisecondsSinceEpoch);
// "Sun, 06 Dec 2026 18:40:01 +0000": the Date header's form.
std::string rfc2822Date(std::int64_t millisecondsSinceEpoch);

}  // namespace zevirudi::sandbox
