#pragma once

// An HTTPTransport that answers from a function and records every request, and a retry sleep that
// records the waits instead of waiting.

#include "mail/RetrySleep.h"
#include "oauth/HTTPTransport.h"
#include "records/Errors.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace loftwing::test {

class ScriptedHTTPTransport : public HTTPTransport {
  public:
    using Handler = std::function<HTTPResponse(const HTTPRequest&, std::stop_token)>;

    explicit ScriptedHTTPTransport(Handler handler) : handler_(std::move(handler)) {}

    static std::shared_ptr<ScriptedHTTPTransport> answering(int status, std::string body) {
        return std::make_shared<ScriptedHTTPTransport>(
            [status, body](const HTTPRequest&, std::stop_token) {
                return HTTPResponse{status, {}, body};
            });
    }

    HTTPResponse data(const HTTPRequest& request, std::stop_token stop) override {
        {
            const std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        return handler_(request, stop);
    }

    std::vector<HTTPRequest> requests() const {
        const std::lock_guard lock(mutex_);
        return requests_;
    }
    std::vector<std::string> urls() const {
        std::vector<std::string> out;
        for (const auto& request : requests()) {
            out.push_back(request.url);
        }
        return out;
    }

  private:
    Handler handler_;
    mutable std::mutex mutex_;
    std::vector<HTTPRequest> requests_;
};

inline HTTPResponse jsonResponse(int status, std::string body) {
    return HTTPResponse{status, {{"Content-Type", "application/json"}}, std::move(body)};
}

class RecordingSleep {
  public:
    RetrySleep function() {
        return [this](std::chrono::milliseconds duration, std::stop_token stop) {
            if (stop.stop_requested()) {
                throw OperationCancelled();
            }
            const std::lock_guard lock(mutex_);
            waits_.push_back(duration);
        };
    }
    std::vector<std::chrono::milliseconds> waits() const {
        const std::lock_guard lock(mutex_);
        return waits_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::chrono::milliseconds> waits_;
};

}  // namespace loftwing::test
