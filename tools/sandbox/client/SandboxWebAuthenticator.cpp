#include "SandboxWebAuthenticator.h"

#include "records/Errors.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>
#include <utility>

namespace zevirudi::sandbox {

namespace {

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

std::optional<std::string> headerValue(const loftwing::HTTPHeaders& headers,
                                       std::string_view name) {
    for (const auto& [key, value] : headers) {
        if (equalsIgnoringASCIICase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

std::string_view schemeOf(std::string_view url) {
    const auto colon = url.find(':');
    return colon == std::string_view::npos ? std::string_view() : url.substr(0, colon);
}

}  // namespace

SandboxWebAuthenticator::SandboxWebAuthenticator(std::shared_ptr<loftwing::HTTPTransport> transport)
    : transport_(std::move(transport)) {}

std::string SandboxWebAuthenticator::authenticate(const std::string& url,
                                                  const std::string& callbackScheme,
                                                  std::stop_token stop) {
    loftwing::HTTPRequest request;
    request.url = url;
    request.method = "GET";
    request.followRedirects = false;

    const auto response = transport_->data(request, stop);
    if (response.statusCode >= 400) {
        throw loftwing::LoftwingMultiError::httpStatus(response.statusCode);
    }
    const auto location = headerValue(response.headers, "Location");
    if (response.statusCode != 302 || !location ||
        !equalsIgnoringASCIICase(schemeOf(*location), callbackScheme)) {
        throw loftwing::LoftwingMultiError::authenticationFailed();
    }
    return *location;
}

}  // namespace zevirudi::sandbox
