#pragma once

#include <chrono>
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
