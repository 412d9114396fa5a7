#pragma once

#include "oauth/HTTPTransport.h"

#include <functional>
#include <mutex>
#include <utility>
#include <vector>

namespace loftwing::testing {

// Records every request and answers it with a scripted handler. Thread-safe.
class FakeHTTPTransport : public HTTPTransport {
  public:
    using Handler = std::function<HTTPResponse(const HTTPRequest&)>;

    explicit FakeHTTPTransport(Handler handler) : handler_(std::move(handler)) {}

    static std::shared_ptr<FakeHTTPTransport> answering(int status, std::string body) {
        return std::make_shared<FakeHTTPTransport>([status, body](const HTTPRequest&) {
            return HTTPResponse{status, {}, body};
        });
    }

    HTTPResponse data(const HTTPRequest& request, std::stop_token) override {
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        return handler_(request);
    }

    std::vector<HTTPRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    Handler handler_;
    mutable std::mutex mutex_;
    std::vector<HTTPRequest> requests_;
};

}  // namespace loftwing::testing
