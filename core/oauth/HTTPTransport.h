#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

namespace loftwing {

using HTTPHeaders = std::vector<std::pair<std::string, std::string>>;

struct HTTPRequest {
    std::string url;
    std::string method = "GET";
    HTTPHeaders headers;
    std::string body;
    std::chrono::milliseconds timeout{60'000};
    // When false, a redirect answer (3xx with Location) is returned as it is. A sign-in's last
    // redirect points at the application's own scheme, which no HTTP client can follow.
    bool followRedirects = true;
    // The most body bytes (after content decoding) the caller will hold; a longer body fails the
    // request as a transport failure as soon as it passes the limit. Nothing means the transport's
    // own limit, which a request can lower but not raise.
    std::optional<std::size_t> maximumBodySize = std::nullopt;
};

struct HTTPResponse {
    int statusCode = 0;
    HTTPHeaders headers;  // names as the server sent them
    std::string body;
};

// The system's one seam to the network. Any status code is a normal return; only failures that
// produced no HTTP response throw (TransportError), and a stop request throws OperationCancelled.
// Implementations are safe for concurrent use.
class HTTPTransport {
  public:
    virtual ~HTTPTransport() = default;
    virtual HTTPResponse data(const HTTPRequest& request, std::stop_token stop = {}) = 0;
};

}  // namespace loftwing
