#include "records/Errors.h"

#include <array>

namespace loftwing {
namespace {

struct ReasonEntry {
    GmailFailureReason reason;
    std::string_view raw;
    std::string_view message;
};

constexpr std::array<ReasonEntry, 7> reasonTable{{
    {GmailFailureReason::dailyLimitExceeded, "dailyLimitExceeded",
     "The app has reached a daily Gmail request limit. Check the Google Cloud quota."},
    {GmailFailureReason::rateLimitExceeded, "rateLimitExceeded",
     "Gmail has paused requests. Wait before checking again."},
    {GmailFailureReason::userRateLimitExceeded, "userRateLimitExceeded",
     "Gmail has paused requests. Wait before checking again."},
    {GmailFailureReason::domainPolicy, "domainPolicy",
     "The Google Workspace account policy blocks this app. Contact the account administrator."},
    {GmailFailureReason::insufficientPermissions, "insufficientPermissions",
     "Gmail read access is missing. Connect this account again."},
    {GmailFailureReason::accessNotConfigured, "accessNotConfigured",
     "The Gmail API is not enabled for this app. Check the Google Cloud project."},
    {GmailFailureReason::forbidden, "forbidden",
     "Google has denied this app access to Gmail. Check the account and app permissions."},
}};

const ReasonEntry& entry(GmailFailureReason reason) {
    return reasonTable[static_cast<std::size_t>(reason)];
}

std::string describe(LoftwingMultiError::Case errorCase, int number, GmailFailureReason reason) {
    using Case = LoftwingMultiError::Case;
    switch (errorCase) {
        case Case::httpStatus:
            return "The mail provider returned HTTP status " + std::to_string(number) + ".";
        case Case::gmailFailure:
            return std::string(message(reason));
        case Case::keychainStatus:
            return "Keychain returned status " + std::to_string(number) + ".";
        case Case::itemNotFound:
            return "The requested item was not found.";
        case Case::duplicateItem:
            return "The item already exists.";
        case Case::interactionNotAllowed:
            return "Keychain access is not available.";
        case Case::authenticationFailed:
            return "Authentication failed.";
        case Case::reconnectRequired:
            return "Mail access has expired or was removed. Connect this account again in "
                   "Zevirudi.";
        case Case::invalidData:
            return "The stored data is not valid.";
        case Case::invalidResponse:
            return "The mail provider returned an invalid response.";
        case Case::responseTooLarge:
            return "The local response is too large.";
        case Case::unsupportedProvider:
            return "This mail provider is not supported.";
        case Case::keychainNotAvailable:
            return "The system keyring is not available. Start GNOME Keyring or KWallet and try "
                   "again.";
    }
    return "The stored data is not valid.";
}

}  // namespace

std::optional<std::string> userFacingDescription(const std::exception& error) {
    if (const auto* localized = dynamic_cast<const LocalizedError*>(&error)) {
        return localized->errorDescription();
    }
    return std::nullopt;
}

std::string_view rawValue(GmailFailureReason reason) {
    return entry(reason).raw;
}

std::optional<GmailFailureReason> gmailFailureReasonFromRawValue(std::string_view raw) {
    for (const auto& candidate : reasonTable) {
        if (candidate.raw == raw) {
            return candidate.reason;
        }
    }
    return std::nullopt;
}

std::string_view message(GmailFailureReason reason) {
    return entry(reason).message;
}

LoftwingMultiError::LoftwingMultiError(Case errorCase, int number, GmailFailureReason reason)
    : case_(errorCase),
      number_(number),
      reason_(reason),
      description_(describe(errorCase, number, reason)) {}

LoftwingMultiError LoftwingMultiError::httpStatus(int statusCode) {
    return LoftwingMultiError(Case::httpStatus, statusCode);
}

LoftwingMultiError LoftwingMultiError::gmailFailure(GmailFailureReason reason) {
    return LoftwingMultiError(Case::gmailFailure, 0, reason);
}

LoftwingMultiError LoftwingMultiError::keychainStatus(std::int32_t status) {
    return LoftwingMultiError(Case::keychainStatus, status);
}

bool operator==(const LoftwingMultiError& a, const LoftwingMultiError& b) {
    if (a.case_ != b.case_) {
        return false;
    }
    switch (a.case_) {
        case LoftwingMultiError::Case::httpStatus:
        case LoftwingMultiError::Case::keychainStatus:
            return a.number_ == b.number_;
        case LoftwingMultiError::Case::gmailFailure:
            return a.reason_ == b.reason_;
        default:
            return true;
    }
}

}  // namespace loftwing
