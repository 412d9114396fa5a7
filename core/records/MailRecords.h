#pragma once

#include "records/JsonCoding.h"
#include "records/MailProvider.h"
#include "support/Time.h"

#include <boost/json/value.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace loftwing {

struct MailMessage {
    std::string id;  // account id, ":", provider message id
    std::string accountID;
    MailProvider provider = MailProvider::google;
    std::string accountEmail;
    std::string sender;
    bool senderAuthenticated = false;
    std::string subject;
    std::string text;
    std::string html;
    Timestamp receivedAt;

    friend bool operator==(const MailMessage&, const MailMessage&) = default;
};

struct AccountCheck {
    enum class Status { ready, reconnectRequired, unavailable };

    std::string accountID;
    Status status = Status::ready;
    std::optional<std::string> message;      // absent when ready
    std::optional<std::string> failureCode;  // absent when ready

    friend bool operator==(const AccountCheck&, const AccountCheck&) = default;
};

std::string_view rawValue(AccountCheck::Status status);

boost::json::value toJson(const MailMessage& message, DateEncoding dates);
boost::json::value toJson(const AccountCheck& check, DateEncoding dates);

}  // namespace loftwing
