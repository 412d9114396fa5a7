#include "records/Errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace loftwing {
namespace {

TEST(LoftwingMultiError, EveryCaseDescribesItself) {
    struct Row {
        LoftwingMultiError error;
        std::string description;
    };
    const std::vector<Row> rows{
        {LoftwingMultiError::httpStatus(429), "The mail provider returned HTTP status 429."},
        {LoftwingMultiError::keychainStatus(-25300), "Keychain returned status -25300."},
        {LoftwingMultiError::itemNotFound(), "The requested item was not found."},
        {LoftwingMultiError::duplicateItem(), "The item already exists."},
        {LoftwingMultiError::interactionNotAllowed(), "Keychain access is not available."},
        {LoftwingMultiError::authenticationFailed(), "Authentication failed."},
        {LoftwingMultiError::reconnectRequired(),
         "Mail access has expired or was removed. Connect this account again in Zevirudi."},
        {LoftwingMultiError::invalidData(), "The stored data is not valid."},
        {LoftwingMultiError::invalidResponse(), "The mail provider returned an invalid response."},
        {LoftwingMultiError::responseTooLarge(), "The local response is too large."},
        {LoftwingMultiError::unsupportedProvider(), "This mail provider is not supported."},
        {LoftwingMultiError::keychainNotAvailable(),
         "The system keyring is not available. Start GNOME Keyring or KWallet and try again."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.description);
        EXPECT_EQ(row.error.errorDescription(), row.description);
        EXPECT_EQ(std::string(row.error.what()), row.description);
        // Generic code sees the same sentence through the exception alone.
        EXPECT_EQ(userFacingDescription(row.error), row.description);
    }
}

TEST(LoftwingMultiError, EqualityComparesCaseAndAssociatedValue) {
    using E = LoftwingMultiError;
    using R = GmailFailureReason;
    struct Row {
        const char* name;
        E a;
        E b;
        bool equal;
    };
    const std::vector<Row> rows{
        {"same status", E::httpStatus(401), E::httpStatus(401), true},
        {"other status", E::httpStatus(401), E::httpStatus(403), false},
        {"same sentence, other reason", E::gmailFailure(R::userRateLimitExceeded),
         E::gmailFailure(R::rateLimitExceeded), false},
        {"same number, other case", E::httpStatus(5), E::keychainStatus(5), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(row.a == row.b, row.equal);
        EXPECT_EQ(row.b == row.a, row.equal);
    }
}

TEST(GmailFailureReason, RawValuesAndMessages) {
    using R = GmailFailureReason;
    struct Row {
        R reason;
        std::string raw;
        std::string message;
    };
    const std::vector<Row> rows{
        {R::dailyLimitExceeded, "dailyLimitExceeded",
         "The app has reached a daily Gmail request limit. Check the Google Cloud quota."},
        {R::rateLimitExceeded, "rateLimitExceeded",
         "Gmail has paused requests. Wait before checking again."},
        {R::userRateLimitExceeded, "userRateLimitExceeded",
         "Gmail has paused requests. Wait before checking again."},
        {R::domainPolicy, "domainPolicy",
         "The Google Workspace account policy blocks this app. Contact the account administrator."},
        {R::insufficientPermissions, "insufficientPermissions",
         "Gmail read access is missing. Connect this account again."},
        {R::accessNotConfigured, "accessNotConfigured",
         "The Gmail API is not enabled for this app. Check the Google Cloud project."},
        {R::forbidden, "forbidden",
         "Google has denied this app access to Gmail. Check the account and app permissions."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.raw);
        EXPECT_EQ(rawValue(row.reason), row.raw);
        EXPECT_EQ(gmailFailureReasonFromRawValue(row.raw), row.reason);
        EXPECT_EQ(message(row.reason), row.message);
        EXPECT_EQ(LoftwingMultiError::gmailFailure(row.reason).errorDescription(), row.message);
    }
    for (const char* unknown : {"Forbidden", "rate_limit_exceeded", ""}) {
        SCOPED_TRACE(unknown);
        EXPECT_EQ(gmailFailureReasonFromRawValue(unknown), std::nullopt);
    }
}

}  // namespace
}  // namespace loftwing
