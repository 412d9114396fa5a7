#include "ProviderErrors.h"

#include <boost/json.hpp>

namespace zevirudi::sandbox {

namespace json = boost::json;

namespace {

std::string googleStatusName(int status) {
    switch (status) {
        case 400:
            return "INVALID_ARGUMENT";
        case 401:
            return "UNAUTHENTICATED";
        case 403:
            return "PERMISSION_DENIED";
        case 404:
            return "NOT_FOUND";
        case 429:
            return "RESOURCE_EXHAUSTED";
        case 500:
            return "INTERNAL";
        case 503:
            return "UNAVAILABLE";
        case 504:
            return "DEADLINE_EXCEEDED";
        default:
            return "UNKNOWN";
    }
}

}  // namespace

std::string googleDefaultReason(int status) {
    switch (status) {
        case 400:
            return "invalidArgument";
        case 401:
            return "authError";
        case 403:
            return "forbidden";
        case 404:
            return "notFound";
        case 429:
            return "rateLimitExceeded";
        case 500:
        case 503:
            return "backendError";
        default:
            return "failedPrecondition";
    }
}

namespace {

std::string graphCode(int status) {
    switch (status) {
        case 400:
            return "BadRequest";
        case 401:
            return "InvalidAuthenticationToken";
        case 403:
            return "ErrorAccessDenied";
        case 404:
            return "ErrorItemNotFound";
        case 429:
            return "ApplicationThrottled";
        case 503:
            return "ServiceNotAvailable";
        case 504:
            return "GatewayTimeout";
        default:
            return "InternalServerError";
    }
}

}  // namespace

json::value googleAPIError(int status, const std::string& message,
                           const std::vector<std::string>& reasons) {
    json::array errors;
    for (const std::string& reason : reasons) {
        std::string domain = reason.find("RateLimit") != std::string::npos ||
                                     reason.find("rateLimit") != std::string::npos ||
                                     reason == "dailyLimitExceeded"
                                 ? "usageLimits"
                                 : "global";
        errors.push_back(
            json::object{{"message", message}, {"domain", domain}, {"reason", reason}});
    }
    return json::object{{"error", json::object{{"code", status},
                                               {"message", message},
                                               {"errors", std::move(errors)},
                                               {"status", googleStatusName(status)}}}};
}

json::value graphError(int status, const std::string& message) {
    return json::object{
        {"error", json::object{{"code", graphCode(status)},
                               {"message", message},
                               {"innerError", json::object{{"request-id", "sandbox"},
                                                           {"client-request-id", "sandbox"}}}}}};
}

}  // namespace zevirudi::sandbox
