#pragma once

#include "support/LogSink.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace loftwing::test {

// Installs itself as the process's sink for its lifetime and keeps every line as
// "category: message".
class CapturingLogSink final : public loftwing::LogSink {
  public:
    static std::shared_ptr<CapturingLogSink> install() {
        auto sink = std::make_shared<CapturingLogSink>();
        loftwing::setLogSink(sink);
        return sink;
    }
    ~CapturingLogSink() override = default;

    void write(loftwing::LogLevel, std::string_view category,
               std::string_view message) noexcept override {
        const std::lock_guard lock(mutex_);
        lines_.push_back(std::string(category) + ": " + std::string(message));
    }

    std::vector<std::string> lines() const {
        const std::lock_guard lock(mutex_);
        return lines_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace loftwing::test
