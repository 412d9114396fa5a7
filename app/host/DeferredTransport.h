#pragma once

#include "oauth/HTTPTransport.h"

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zevirudi {

// Creates the real transport on the first request. A native host answering "status" never sends
// one, and must not pay for the HTTP stack's start-up.
class DeferredTransport : public loftwing::HTTPTransport {
  public:
    using Factory = std::function<std::shared_ptr<loftwing::HTTPTransport>()>;

    explicit DeferredTransport(Factory factory) : factory_(std::move(factory)) {}

    // Starts creating the transport on a thread of its own, so that loading it overlaps what the
    // request does before its first HTTP request (reading the keyring).
    void prepareInBackground() {
        warmUp_ = std::jthread([this] {
            try {
                create();
            } catch (...) {
                // The first request creates it again and reports the failure.
            }
        });
    }

    loftwing::HTTPResponse data(const loftwing::HTTPRequest& request,
                                std::stop_token stop = {}) override {
        create();
        return transport_->data(request, std::move(stop));
    }

  private:
    void create() {
        std::call_once(created_, [this] { transport_ = factory_(); });
    }

    Factory factory_;
    std::once_flag created_;
    std::shared_ptr<loftwing::HTTPTransport> transport_;
    std::jthread warmUp_;  // last: joined before the members it uses go away
};

}  // namespace zevirudi
