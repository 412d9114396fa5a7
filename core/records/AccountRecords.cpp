#include "records/AccountRecords.h"

#include "records/Errors.h"
#include "records/JsonFields.h"

#include <boost/json/object.hpp>

namespace loftwing {

std::string_view rawValue(MailProvider provider) {
    return provider == MailProvider::google ? "google" : "microsoft";
}

std::string_view displayName(MailProvider provider) {
    return provider == MailProvider::google ? "Gmail" : "Outlook or Hotmail";
}

std::optional<MailProvider> mailProviderFromRawValue(std::string_view raw) {
    for (const auto provider : allMailProviders) {
        if (rawValue(provider) == raw) {
            return provider;
        }
    }
    return std::nullopt;
}

bool OAuthTokenSet::needsRefresh(Timestamp now, double leeway) const {
    const double secondsLeft = std::chrono::duration<double>(expiresAt - now).count();
    return secondsLeft <= leeway;
}

boost::json::value toJson(MailProvider provider, DateEncoding) {
    return boost::json::string(rawValue(provider));
}

template <>
MailProvider fromJson<MailProvider>(const boost::json::value& json, DateEncoding) {
    const auto* text = json.if_string();
    const auto provider =
        text ? mailProviderFromRawValue(std::string_view(text->data(), text->size()))
             : std::nullopt;
    if (!provider) {
        throw JsonDecodingError("MailProvider: the value is not \"google\" or \"microsoft\".");
    }
    return *provider;
}

boost::json::value toJson(const ConnectedAccount& account, DateEncoding dates) {
    boost::json::object out;
    out["id"] = account.id;
    out["provider"] = toJson(account.provider, dates);
    out["email"] = account.email;
    if (account.displayName) {
        out["displayName"] = *account.displayName;
    }
    return out;
}

template <>
ConnectedAccount fromJson<ConnectedAccount>(const boost::json::value& json, DateEncoding dates) {
    const JsonFields fields(json, "ConnectedAccount", dates);
    return ConnectedAccount{fields.string("id"), fields.record<MailProvider>("provider"),
                            fields.string("email"), fields.optionalString("displayName")};
}

boost::json::value toJson(const OAuthTokenSet& tokens, DateEncoding dates) {
    boost::json::object out;
    out["accessToken"] = tokens.accessToken;
    if (tokens.refreshToken) {
        out["refreshToken"] = *tokens.refreshToken;
    }
    out["expiresAt"] = dateToJson(tokens.expiresAt, dates);
    if (tokens.scope) {
        out["scope"] = *tokens.scope;
    }
    return out;
}

template <>
OAuthTokenSet fromJson<OAuthTokenSet>(const boost::json::value& json, DateEncoding dates) {
    const JsonFields fields(json, "OAuthTokenSet", dates);
    return OAuthTokenSet{fields.string("accessToken"), fields.optionalString("refreshToken"),
                         fields.date("expiresAt"), fields.optionalString("scope")};
}

boost::json::value toJson(const StoredAccount& stored, DateEncoding dates) {
    boost::json::object out;
    out["account"] = toJson(stored.account, dates);
    out["tokens"] = toJson(stored.tokens, dates);
    return out;
}

template <>
StoredAccount fromJson<StoredAccount>(const boost::json::value& json, DateEncoding dates) {
    const JsonFields fields(json, "StoredAccount", dates);
    return StoredAccount{fields.record<ConnectedAccount>("account"),
                         fields.record<OAuthTokenSet>("tokens")};
}

}  // namespace loftwing
