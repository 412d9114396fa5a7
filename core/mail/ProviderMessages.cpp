#include "mail/ProviderMessages.h"

#include "records/Errors.h"
#include "records/JsonFields.h"
#include "records/LoneSurrogateEscapes.h"

#include <boost/json/error.hpp>
#include <boost/json/parse.hpp>

#include <utility>

namespace loftwing {
namespace {

constexpr DateEncoding unusedDates = DateEncoding::millisecondsSince1970;

// Parses with the provider depth limit; nothing when the text nests deeper than the limit.
std::optional<boost::json::value> parseProviderJson(std::string_view text) {
    const auto repaired = withLoneSurrogateEscapesReplaced(text);
    if (repaired) {
        text = *repaired;
    }
    boost::json::parse_options options;
    options.max_depth = maximumProviderJsonDepth;
    boost::system::error_code error;
    auto json = boost::json::parse(boost::json::string_view(text.data(), text.size()), error,
                                   boost::json::storage_ptr(), options);
    if (error == boost::json::error::too_deep) {
        return std::nullopt;
    }
    if (error) {
        throw JsonDecodingError("The data is not valid JSON: " + error.message());
    }
    return json;
}

std::optional<boost::json::value> parseProviderJsonReleasing(std::string& text) {
    auto json = parseProviderJson(text);
    std::string().swap(text);
    return json;
}

boost::json::value parseProviderJsonOrThrow(std::string_view text) {
    auto json = parseProviderJson(text);
    if (!json) {
        throw JsonDecodingError("The data nests too deeply.");
    }
    return std::move(*json);
}

}  // namespace

template <>
GmailHeader fromJson<GmailHeader>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GmailHeader", dates);
    return GmailHeader{fields.string("name"), fields.string("value")};
}

template <>
GmailBody fromJson<GmailBody>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GmailBody", dates);
    return GmailBody{fields.optionalString("data")};
}

template <>
GmailPayload fromJson<GmailPayload>(const boost::json::value& json, DateEncoding dates) {
    GmailPayload root;
    // Each entry fills one node; a node's parts are sized before their addresses are taken, so
    // the addresses stay valid while the siblings are filled.
    std::vector<std::pair<const boost::json::value*, GmailPayload*>> pending{{&json, &root}};
    while (!pending.empty()) {
        const auto [nodeJson, node] = pending.back();
        pending.pop_back();
        JsonFields fields(*nodeJson, "GmailPayload", dates);
        node->mimeType = fields.optionalString("mimeType");
        node->headers = fields.optionalArray<GmailHeader>("headers");
        node->body = fields.optionalRecord<GmailBody>("body");
        const auto* parts = fields.optional("parts");
        if (!parts) {
            continue;
        }
        const auto* items = parts->if_array();
        if (!items) {
            fields.fail("parts", "is not an array");
        }
        node->parts.emplace(items->size());
        // Pushed in reverse so that the parts are decoded in order, which keeps the first faulty
        // part the one reported.
        for (std::size_t i = items->size(); i-- > 0;) {
            pending.emplace_back(&(*items)[i], &(*node->parts)[i]);
        }
    }
    return root;
}

template <>
GmailMessage fromJson<GmailMessage>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GmailMessage", dates);
    return GmailMessage{fields.string("id"), fields.optionalString("internalDate"),
                        fields.optionalRecord<GmailPayload>("payload")};
}

template <>
GmailMessageReference fromJson<GmailMessageReference>(const boost::json::value& json,
                                                      DateEncoding dates) {
    JsonFields fields(json, "GmailMessageReference", dates);
    return GmailMessageReference{fields.string("id")};
}

template <>
GmailListResponse fromJson<GmailListResponse>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GmailListResponse", dates);
    return GmailListResponse{fields.optionalArray<GmailMessageReference>("messages"),
                             fields.optionalString("nextPageToken")};
}

template <>
GmailFailureResponse::Detail fromJson<GmailFailureResponse::Detail>(const boost::json::value& json,
                                                                    DateEncoding dates) {
    JsonFields fields(json, "GmailFailureResponse.Detail", dates);
    return GmailFailureResponse::Detail{fields.string("reason")};
}

template <>
GmailFailureResponse fromJson<GmailFailureResponse>(const boost::json::value& json,
                                                    DateEncoding dates) {
    JsonFields fields(json, "GmailFailureResponse", dates);
    JsonFields failure(fields.required("error"), "GmailFailureResponse.Failure", dates);
    return GmailFailureResponse{
        GmailFailureResponse::Failure{
            failure.optionalArray<GmailFailureResponse::Detail>("errors")},
    };
}

template <>
GraphEmailAddress fromJson<GraphEmailAddress>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GraphEmailAddress", dates);
    return GraphEmailAddress{fields.string("address")};
}

template <>
GraphRecipient fromJson<GraphRecipient>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GraphRecipient", dates);
    return GraphRecipient{fields.record<GraphEmailAddress>("emailAddress")};
}

template <>
GraphBody fromJson<GraphBody>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GraphBody", dates);
    return GraphBody{fields.string("content")};
}

template <>
GraphHeader fromJson<GraphHeader>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GraphHeader", dates);
    return GraphHeader{fields.string("name"), fields.string("value")};
}

template <>
GraphMessage fromJson<GraphMessage>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GraphMessage", dates);
    return GraphMessage{
        fields.string("id"),
        fields.string("receivedDateTime"),
        fields.optionalString("subject"),
        fields.optionalRecord<GraphRecipient>("from"),
        fields.optionalRecord<GraphBody>("body"),
        fields.optionalString("bodyPreview"),
        fields.optionalArray<GraphHeader>("internetMessageHeaders"),
    };
}

template <>
GraphListResponse fromJson<GraphListResponse>(const boost::json::value& json, DateEncoding dates) {
    JsonFields fields(json, "GraphListResponse", dates);
    return GraphListResponse{fields.array<GraphMessage>("value")};
}

std::optional<GmailMessage> decodeGmailMessage(std::string json) {
    const auto parsed = parseProviderJsonReleasing(json);
    if (!parsed) {
        return std::nullopt;
    }
    return fromJson<GmailMessage>(*parsed, unusedDates);
}

GmailListResponse decodeGmailListResponse(std::string_view json) {
    return fromJson<GmailListResponse>(parseProviderJsonOrThrow(json), unusedDates);
}

GmailFailureResponse decodeGmailFailureResponse(std::string_view json) {
    return fromJson<GmailFailureResponse>(parseProviderJsonOrThrow(json), unusedDates);
}

GraphListResponse decodeGraphListResponse(std::string json) {
    const auto parsed = parseProviderJsonReleasing(json);
    if (!parsed) {
        throw JsonDecodingError("The data nests too deeply.");
    }
    return fromJson<GraphListResponse>(*parsed, unusedDates);
}

}  // namespace loftwing
