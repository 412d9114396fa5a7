#pragma once

#include "oauth/HTTPTransport.h"

#include <functional>
#include <memory>
#include <mutex>

namespace zevirudi {

// Creates the real transport on the first request. A native host answering "status" never sends
// one, and must not pay for the HTTP stack's start-up.
class DeferredTransport : public loftwing::HTTPTransport {
  public:
    using Factory = std::function<std::shared_ptr<loftwing::HTTPTransport>()>;

    explicit DeferredTransport(Factory factory) : factory_(std::move(factory)) {}

    loftwing::HTTPResponse data(const loftwing::HTTPRequest& request,
                                std::stop_token stop = {}) override {
        std::call_once(created_, [this] { transport_ = factory_(); });
        return transport_->data(request, std::move(stop));
    }

  private:
    Factory factory_;
    std::once_flag created_;
    std::shared_ptr<loftwing::HTTPTransport> transport_;
};

}  // namespace zevirudi
