#pragma once

// The providers' own JSON shapes of a message and of the list and failure responses around it.
// Keys are the field names; unknown keys are ignored; optional fields may be absent or null; a
// missing required field throws JsonDecodingError.

#include "records/JsonCoding.h"

#include <boost/json/value.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace loftwing {

struct GmailHeader {
    std::string name;
    std::string value;

    friend bool operator==(const GmailHeader&, const GmailHeader&) = default;
};

struct GmailBody {
    std::optional<std::string> data;  // base64url text of the part's bytes

    friend bool operator==(const GmailBody&, const GmailBody&) = default;
};

// One node of a message's MIME tree.
struct GmailPayload {
    std::optional<std::string> mimeType;
    std::optional<std::vector<GmailHeader>> headers;
    std::optional<GmailBody> body;
    std::optional<std::vector<GmailPayload>> parts;

    friend bool operator==(const GmailPayload&, const GmailPayload&) = default;
};

struct GmailMessage {
    std::string id;
    std::optional<std::string> internalDate;  // milliseconds since 1970 as decimal text
    std::optional<GmailPayload> payload;

    friend bool operator==(const GmailMessage&, const GmailMessage&) = default;
};

struct GmailMessageReference {
    std::string id;

    friend bool operator==(const GmailMessageReference&, const GmailMessageReference&) = default;
};

struct GmailListResponse {
    std::optional<std::vector<GmailMessageReference>> messages;
    std::optional<std::string> nextPageToken;

    friend bool operator==(const GmailListResponse&, const GmailListResponse&) = default;
};

struct GmailFailureResponse {
    struct Detail {
        std::string reason;

        friend bool operator==(const Detail&, const Detail&) = default;
    };
    struct Failure {
        std::optional<std::vector<Detail>> errors;

        friend bool operator==(const Failure&, const Failure&) = default;
    };

    Failure error;

    friend bool operator==(const GmailFailureResponse&, const GmailFailureResponse&) = default;
};

struct GraphEmailAddress {
    std::string address;

    friend bool operator==(const GraphEmailAddress&, const GraphEmailAddress&) = default;
};

struct GraphRecipient {
    GraphEmailAddress emailAddress;

    friend bool operator==(const GraphRecipient&, const GraphRecipient&) = default;
};

struct GraphBody {
    std::string content;

    friend bool operator==(const GraphBody&, const GraphBody&) = default;
};

struct GraphHeader {
    std::string name;
    std::string value;

    friend bool operator==(const GraphHeader&, const GraphHeader&) = default;
};

struct GraphMessage {
    std::string id;
    std::string receivedDateTime;
    std::optional<std::string> subject;
    std::optional<GraphRecipient> from;
    std::optional<GraphBody> body;
    std::optional<std::string> bodyPreview;
    std::optional<std::vector<GraphHeader>> internetMessageHeaders;

    friend bool operator==(const GraphMessage&, const GraphMessage&) = default;
};

struct GraphListResponse {
    std::vector<GraphMessage> value;

    friend bool operator==(const GraphListResponse&, const GraphListResponse&) = default;
};

// Every MIME level costs two JSON levels (the part object and its "parts" array). The JSON parser
// recurses once per level, so this bounds its stack use (measured: a message at the limit parses
// within a 512 KiB stack and not within 256 KiB; threads get 8 MiB) while leaving room for 2,046
// MIME levels, far beyond anything a mail program writes.
inline constexpr std::size_t maximumProviderJsonDepth = 4096;

// A fetched Gmail message. Nothing when the JSON nests deeper than maximumProviderJsonDepth: such
// a message is hostile, and leaving it out keeps it from failing the whole mailbox. Any other
// fault throws JsonDecodingError. The two decoders of message bodies take the text and free it
// once it is parsed, so a large answer is held twice at most (text and tree, then tree and
// records), never three times.
std::optional<GmailMessage> decodeGmailMessage(std::string json);
// The other provider responses; every fault, nesting included, throws JsonDecodingError.
GmailListResponse decodeGmailListResponse(std::string_view json);
GmailFailureResponse decodeGmailFailureResponse(std::string_view json);
GraphListResponse decodeGraphListResponse(std::string json);

// The record decoders behind the functions above. The dates argument is unused (no record here
// holds a date the decoder would convert) but keeps the shared fromJson signature. GmailPayload
// is decoded with an explicit work list, so nesting never deepens the call stack.
template <>
GmailHeader fromJson<GmailHeader>(const boost::json::value& json, DateEncoding dates);
template <>
GmailBody fromJson<GmailBody>(const boost::json::value& json, DateEncoding dates);
template <>
GmailPayload fromJson<GmailPayload>(const boost::json::value& json, DateEncoding dates);
template <>
GmailMessage fromJson<GmailMessage>(const boost::json::value& json, DateEncoding dates);
template <>
GmailMessageReference fromJson<GmailMessageReference>(const boost::json::value& json,
                                                      DateEncoding dates);
template <>
GmailListResponse fromJson<GmailListResponse>(const boost::json::value& json, DateEncoding dates);
template <>
GmailFailureResponse::Detail fromJson<GmailFailureResponse::Detail>(const boost::json::value& json,
                                                                    DateEncoding dates);
template <>
GmailFailureResponse fromJson<GmailFailureResponse>(const boost::json::value& json,
                                                    DateEncoding dates);
template <>
GraphEmailAddress fromJson<GraphEmailAddress>(const boost::json::value& json, DateEncoding dates);
template <>
GraphRecipient fromJson<GraphRecipient>(const boost::json::value& json, DateEncoding dates);
template <>
GraphBody fromJson<GraphBody>(const boost::json::value& json, DateEncoding dates);
template <>
GraphHeader fromJson<GraphHeader>(const boost::json::value& json, DateEncoding dates);
template <>
GraphMessage fromJson<GraphMessage>(const boost::json::value& json, DateEncoding dates);
template <>
GraphListResponse fromJson<GraphListResponse>(const boost::json::value& json, DateEncoding dates);

}  // namespace loftwing
