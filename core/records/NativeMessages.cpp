#include "records/NativeMessages.h"

#include "records/JsonFields.h"

#include <boost/json/object.hpp>

#include <chrono>
#include <cstdint>

namespace loftwing {

std::vector<std::string> limitedSeenMessageIDs(std::vector<std::string> ids) {
    if (ids.size() > maximumSeenMessageIDs) {
        ids.erase(ids.begin(), ids.end() - static_cast<std::ptrdiff_t>(maximumSeenMessageIDs));
    }
    return ids;
}

WatchRequest::WatchRequest(std::string type_, std::string origin_,
                           std::int64_t sinceEpochMilliseconds_,
                           std::vector<std::string> seenMessageIDs_)
    : type(std::move(type_)),
      origin(std::move(origin_)),
      sinceEpochMilliseconds(sinceEpochMilliseconds_),
      seenMessageIDs(limitedSeenMessageIDs(std::move(seenMessageIDs_))) {}

Timestamp WatchRequest::since() const {
    // Whole milliseconds convert to nanoseconds exactly while they fit; going through a double
    // would round 1,700,000,000,123 ms by up to a hundred nanoseconds.
    constexpr std::int64_t limit = INT64_MAX / 1'000'000;
    if (sinceEpochMilliseconds >= -limit && sinceEpochMilliseconds <= limit) {
        return Timestamp{std::chrono::milliseconds{sinceEpochMilliseconds}};
    }
    // A start time beyond the representable range means "from the beginning" or "nothing yet".
    return sinceEpochMilliseconds > 0 ? Timestamp::max() : Timestamp::min();
}

NativeHostRequest::NativeHostRequest(std::string type_, std::optional<std::string> origin_,
                                     std::optional<std::int64_t> sinceEpochMilliseconds_,
                                     std::optional<std::vector<std::string>> seenMessageIDs_,
                                     std::optional<LinkNotificationPayload> linkNotification_,
                                     std::optional<CodeNotificationPayload> codeNotification_)
    : type(std::move(type_)),
      origin(std::move(origin_)),
      sinceEpochMilliseconds(sinceEpochMilliseconds_),
      seenMessageIDs(seenMessageIDs_
                         ? std::optional(limitedSeenMessageIDs(std::move(*seenMessageIDs_)))
                         : std::nullopt),
      linkNotification(std::move(linkNotification_)),
      codeNotification(std::move(codeNotification_)) {}

std::optional<WatchRequest> NativeHostRequest::watchRequest() const {
    if (type != "poll" || !origin || !sinceEpochMilliseconds) {
        return std::nullopt;
    }
    return WatchRequest("poll", *origin, *sinceEpochMilliseconds,
                        seenMessageIDs.value_or(std::vector<std::string>{}));
}

template <>
CodeNotificationPayload fromJson<CodeNotificationPayload>(const boost::json::value& json,
                                                          DateEncoding dates) {
    const JsonFields fields(json, "CodeNotificationPayload", dates);
    return CodeNotificationPayload{
        fields.string("code"),          fields.string("destinationHost"),
        fields.string("source"),        fields.optionalString("accountEmail"),
        fields.string("providerLabel"), fields.boolean("wasCopied")};
}

template <>
LinkNotificationPayload fromJson<LinkNotificationPayload>(const boost::json::value& json,
                                                          DateEncoding dates) {
    const JsonFields fields(json, "LinkNotificationPayload", dates);
    return LinkNotificationPayload{
        fields.string("url"),           fields.string("destinationHost"),
        fields.string("source"),        fields.optionalString("accountEmail"),
        fields.string("providerLabel"), fields.string("linkPurpose")};
}

template <>
NativeHostRequest fromJson<NativeHostRequest>(const boost::json::value& json, DateEncoding dates) {
    const JsonFields fields(json, "NativeHostRequest", dates);
    NativeHostRequest request;
    request.type = fields.string("type");
    request.origin = fields.optionalString("origin");
    request.sinceEpochMilliseconds = fields.optionalInt64("sinceEpochMilliseconds");
    request.seenMessageIDs = fields.optionalArray<std::string>("seenMessageIDs");
    request.linkNotification = fields.optionalRecord<LinkNotificationPayload>("linkNotification");
    request.codeNotification = fields.optionalRecord<CodeNotificationPayload>("codeNotification");
    return request;
}

boost::json::value toJson(const NativeHostResponse& response, DateEncoding dates) {
    boost::json::object out;
    out["ok"] = response.ok;
    out["messages"] = recordsToJson(response.messages, dates);
    out["accounts"] = recordsToJson(response.accounts, dates);
    out["warnings"] = stringsToJson(response.warnings);
    out["accountChecks"] = recordsToJson(response.accountChecks, dates);
    if (response.error) {
        out["error"] = *response.error;
    }
    return out;
}

}  // namespace loftwing
