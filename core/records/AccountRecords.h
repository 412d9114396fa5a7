#pragma once

#include "records/JsonCoding.h"
#include "records/MailProvider.h"
#include "support/Time.h"

#include <boost/json/value.hpp>

#include <optional>
#include <string>

namespace loftwing {

struct ConnectedAccount {
    std::string id;  // stable; also the key of the account's keyring item
    MailProvider provider = MailProvider::google;
    std::string email;
    std::optional<std::string> displayName;

    friend bool operator==(const ConnectedAccount&, const ConnectedAccount&) = default;
};

struct OAuthTokenSet {
    std::string accessToken;
    std::optional<std::string> refreshToken;
    Timestamp expiresAt;
    std::optional<std::string> scope;

    // True when expiresAt lies at most `leeway` seconds after `now`.
    bool needsRefresh(Timestamp now, double leeway) const;

    friend bool operator==(const OAuthTokenSet&, const OAuthTokenSet&) = default;
};

struct StoredAccount {
    ConnectedAccount account;
    OAuthTokenSet tokens;

    friend bool operator==(const StoredAccount&, const StoredAccount&) = default;
};

boost::json::value toJson(MailProvider provider, DateEncoding dates);
boost::json::value toJson(const ConnectedAccount& account, DateEncoding dates);
boost::json::value toJson(const OAuthTokenSet& tokens, DateEncoding dates);
boost::json::value toJson(const StoredAccount& stored, DateEncoding dates);
template <>
MailProvider fromJson<MailProvider>(const boost::json::value& json, DateEncoding dates);
template <>
ConnectedAccount fromJson<ConnectedAccount>(const boost::json::value& json, DateEncoding dates);
template <>
OAuthTokenSet fromJson<OAuthTokenSet>(const boost::json::value& json, DateEncoding dates);
template <>
StoredAccount fromJson<StoredAccount>(const boost::json::value& json, DateEncoding dates);

}  // namespace loftwing
