#include "records/MailRecords.h"

#include "records/AccountRecords.h"
#include "records/Errors.h"
#include "records/JsonFields.h"

#include <boost/json/object.hpp>

namespace loftwing {

std::string_view rawValue(AccountCheck::Status status) {
    switch (status) {
        case AccountCheck::Status::ready:
            return "ready";
        case AccountCheck::Status::reconnectRequired:
            return "reconnectRequired";
        case AccountCheck::Status::unavailable:
            return "unavailable";
    }
    return "unavailable";
}

std::optional<AccountCheck::Status> accountCheckStatusFromRawValue(std::string_view raw) {
    for (const auto status : {AccountCheck::Status::ready, AccountCheck::Status::reconnectRequired,
                              AccountCheck::Status::unavailable}) {
        if (rawValue(status) == raw) {
            return status;
        }
    }
    return std::nullopt;
}

boost::json::value toJson(const MailMessage& message, DateEncoding dates) {
    boost::json::object out;
    out["id"] = message.id;
    out["accountID"] = message.accountID;
    out["provider"] = toJson(message.provider, dates);
    out["accountEmail"] = message.accountEmail;
    out["sender"] = message.sender;
    out["senderAuthenticated"] = message.senderAuthenticated;
    out["subject"] = message.subject;
    out["text"] = message.text;
    out["html"] = message.html;
    out["receivedAt"] = dateToJson(message.receivedAt, dates);
    return out;
}

template <>
MailMessage fromJson<MailMessage>(const boost::json::value& json, DateEncoding dates) {
    const JsonFields fields(json, "MailMessage", dates);
    return MailMessage{fields.string("id"),
                       fields.string("accountID"),
                       fields.record<MailProvider>("provider"),
                       fields.string("accountEmail"),
                       fields.string("sender"),
                       fields.boolean("senderAuthenticated"),
                       fields.string("subject"),
                       fields.string("text"),
                       fields.string("html"),
                       fields.date("receivedAt")};
}

boost::json::value toJson(const AccountCheck& check, DateEncoding) {
    boost::json::object out;
    out["accountID"] = check.accountID;
    out["status"] = boost::json::string(rawValue(check.status));
    if (check.message) {
        out["message"] = *check.message;
    }
    if (check.failureCode) {
        out["failureCode"] = *check.failureCode;
    }
    return out;
}

template <>
AccountCheck fromJson<AccountCheck>(const boost::json::value& json, DateEncoding dates) {
    const JsonFields fields(json, "AccountCheck", dates);
    const auto statusText = fields.string("status");
    const auto status = accountCheckStatusFromRawValue(statusText);
    if (!status) {
        fields.fail("status", "is not a known status");
    }
    return AccountCheck{fields.string("accountID"), *status, fields.optionalString("message"),
                        fields.optionalString("failureCode")};
}

}  // namespace loftwing
