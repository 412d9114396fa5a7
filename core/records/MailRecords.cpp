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

}  // namespace loftwing
