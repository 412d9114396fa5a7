#pragma once

#include "records/AccountRecords.h"
#include "records/JsonCoding.h"
#include "records/MailRecords.h"
#include "support/Time.h"

#include <boost/json/value.hpp>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace loftwing {

// The most seen identifiers a poll carries to the monitor: the last ones sent are kept.
inline constexpr std::size_t maximumSeenMessageIDs = 500;
std::vector<std::string> limitedSeenMessageIDs(std::vector<std::string> ids);

struct CodeNotificationPayload {
    std::string code;
    std::string destinationHost;
    std::string source;
    std::optional<std::string> accountEmail;
    std::string providerLabel;
    bool wasCopied = false;

    friend bool operator==(const CodeNotificationPayload&,
                           const CodeNotificationPayload&) = default;
};

struct LinkNotificationPayload {
    std::string url;
    std::string destinationHost;
    std::string source;
    std::optional<std::string> accountEmail;
    std::string providerLabel;
    std::string linkPurpose;  // "sign-in", "password-reset" or "email-confirmation"

    friend bool operator==(const LinkNotificationPayload&,
                           const LinkNotificationPayload&) = default;
};

struct WatchRequest {
    WatchRequest() = default;
    // Keeps only the last 500 seen identifiers.
    WatchRequest(std::string type, std::string origin, std::int64_t sinceEpochMilliseconds,
                 std::vector<std::string> seenMessageIDs);

    std::string type = "poll";
    std::string origin;
    std::int64_t sinceEpochMilliseconds = 0;
    std::vector<std::string> seenMessageIDs;

    Timestamp since() const;

    friend bool operator==(const WatchRequest&, const WatchRequest&) = default;
};

struct NativeHostRequest {
    NativeHostRequest() = default;
    // Keeps only the last 500 seen identifiers; decoding from JSON keeps them all.
    NativeHostRequest(std::string type, std::optional<std::string> origin,
                      std::optional<std::int64_t> sinceEpochMilliseconds,
                      std::optional<std::vector<std::string>> seenMessageIDs,
                      std::optional<LinkNotificationPayload> linkNotification,
                      std::optional<CodeNotificationPayload> codeNotification);

    std::string type;
    std::optional<std::string> origin;
    std::optional<std::int64_t> sinceEpochMilliseconds;
    std::optional<std::vector<std::string>> seenMessageIDs;
    std::optional<LinkNotificationPayload> linkNotification;
    std::optional<CodeNotificationPayload> codeNotification;

    // A poll with origin and start time; nothing for anything else.
    std::optional<WatchRequest> watchRequest() const;

    friend bool operator==(const NativeHostRequest&, const NativeHostRequest&) = default;
};

struct NativeHostResponse {
    bool ok = false;
    std::vector<MailMessage> messages;
    std::vector<ConnectedAccount> accounts;
    std::vector<std::string> warnings;
    std::vector<AccountCheck> accountChecks;
    std::optional<std::string> error;

    friend bool operator==(const NativeHostResponse&, const NativeHostResponse&) = default;
};

struct WatchResponse {
    bool ok = false;
    std::vector<MailMessage> messages;
    std::vector<std::string> warnings;
    std::vector<AccountCheck> accountChecks;
    std::optional<std::string> error;

    friend bool operator==(const WatchResponse&, const WatchResponse&) = default;
};

boost::json::value toJson(const NativeHostResponse& response, DateEncoding dates);
template <>
CodeNotificationPayload fromJson<CodeNotificationPayload>(const boost::json::value&, DateEncoding);
template <>
LinkNotificationPayload fromJson<LinkNotificationPayload>(const boost::json::value&, DateEncoding);
template <>
NativeHostRequest fromJson<NativeHostRequest>(const boost::json::value&, DateEncoding);

}  // namespace loftwing
