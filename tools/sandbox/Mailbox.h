#pragma once

#include <boost/json/object.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zevirudi::sandbox {

enum class Provider { google, microsoft };

std::string_view providerName(Provider provider);
std::optional<Provider> providerFromName(std::string_view name);

// One message as the provider stores it: the resource it serves, prepared when it was added.
struct StoredMessage {
    std::string id;
    std::int64_t receivedAtMilliseconds = 0;
    std::uint64_t sequence = 0;    // orders messages received in the same millisecond
    boost::json::object resource;  // Gmail message resource or Graph message
};

// A sandbox mailbox. The profile fields are what the provider's profile endpoint reports, which
// tests may make deliberately incomplete.
struct Mailbox {
    Provider provider = Provider::google;
    std::string subjectID;  // Google "sub" or Graph "id"
    std::string address;    // where its mail is delivered (To header)
    std::string name;
    std::optional<std::string> mail;  // Graph "mail" (null when absent); Google "email"
    std::string userPrincipalName;    // Graph only
    std::vector<StoredMessage> messages;

    std::string accountID() const;
};

}  // namespace zevirudi::sandbox
