#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace loftwing {

// An error that can describe itself to a person. Generic code (the native host's error response,
// the desktop view model) finds it with dynamic_cast and falls back to a sentence of its own.
class LocalizedError {
  public:
    virtual ~LocalizedError() = default;
    virtual std::optional<std::string> errorDescription() const = 0;
};

// The user-facing description of any exception, when it offers one.
std::optional<std::string> userFacingDescription(const std::exception& error);

// The reasons Gmail gives for refusing a request; raw values equal the case names.
enum class GmailFailureReason {
    dailyLimitExceeded,
    rateLimitExceeded,
    userRateLimitExceeded,
    domainPolicy,
    insufficientPermissions,
    accessNotConfigured,
    forbidden,
};

std::string_view rawValue(GmailFailureReason reason);
// Exact, case-sensitive match of the seven raw values.
std::optional<GmailFailureReason> gmailFailureReasonFromRawValue(std::string_view raw);
std::string_view message(GmailFailureReason reason);

// The core library's one error type. Equality compares the case and its associated value.
class LoftwingMultiError : public std::exception, public LocalizedError {
  public:
    enum class Case {
        httpStatus,
        gmailFailure,
        keychainStatus,
        itemNotFound,
        duplicateItem,
        interactionNotAllowed,
        authenticationFailed,
        reconnectRequired,
        invalidData,
        invalidResponse,
        responseTooLarge,
        unsupportedProvider,
        keychainNotAvailable,
    };

    static LoftwingMultiError httpStatus(int statusCode);
    static LoftwingMultiError gmailFailure(GmailFailureReason reason);
    static LoftwingMultiError keychainStatus(std::int32_t status);
    static LoftwingMultiError itemNotFound() { return LoftwingMultiError(Case::itemNotFound); }
    static LoftwingMultiError duplicateItem() { return LoftwingMultiError(Case::duplicateItem); }
    static LoftwingMultiError interactionNotAllowed() {
        return LoftwingMultiError(Case::interactionNotAllowed);
    }
    static LoftwingMultiError authenticationFailed() {
        return LoftwingMultiError(Case::authenticationFailed);
    }
    static LoftwingMultiError reconnectRequired() {
        return LoftwingMultiError(Case::reconnectRequired);
    }
    static LoftwingMultiError invalidData() { return LoftwingMultiError(Case::invalidData); }
    static LoftwingMultiError invalidResponse() {
        return LoftwingMultiError(Case::invalidResponse);
    }
    static LoftwingMultiError responseTooLarge() {
        return LoftwingMultiError(Case::responseTooLarge);
    }
    static LoftwingMultiError unsupportedProvider() {
        return LoftwingMultiError(Case::unsupportedProvider);
    }
    static LoftwingMultiError keychainNotAvailable() {
        return LoftwingMultiError(Case::keychainNotAvailable);
    }

    Case errorCase() const { return case_; }
    // The associated values; meaningful only for their own case.
    int statusCode() const { return number_; }
    std::int32_t keychainStatusCode() const { return static_cast<std::int32_t>(number_); }
    GmailFailureReason gmailFailureReason() const { return reason_; }

    std::optional<std::string> errorDescription() const override { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    friend bool operator==(const LoftwingMultiError& a, const LoftwingMultiError& b);

  private:
    explicit LoftwingMultiError(Case errorCase, int number = 0,
                                GmailFailureReason reason = GmailFailureReason::forbidden);

    Case case_;
    int number_;
    GmailFailureReason reason_;
    std::string description_;
};

// Malformed JSON, a missing required key, a value of the wrong type or an unknown enumeration
// text. Deliberately not a LocalizedError: the native host answers it with its fallback sentence.
class JsonDecodingError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A request that never produced an HTTP response. The code follows the URL-loading codes the
// extension knows: -1001 time-out, -1003 host not found, -1004 cannot connect, -1005 connection
// lost, -1009 not connected, -1200 TLS failure, -1202 bad certificate, -1 anything else.
class TransportError : public std::runtime_error {
  public:
    TransportError(int code, const std::string& detail) : std::runtime_error(detail), code_(code) {}
    int code() const { return code_; }

  private:
    int code_;
};

// Work stopped through a std::stop_token. Never reported to a person.
class OperationCancelled : public std::exception {
  public:
    const char* what() const noexcept override { return "The operation was cancelled."; }
};

}  // namespace loftwing
