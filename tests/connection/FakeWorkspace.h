#pragma once

#include "desktop/DesktopWorkspace.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zevirudi::test {

// A desktop whose browser is the test: it hands each opened URL to `onOpen` (which may throw, as
// a browser that does not start) and lets a test wait for the first one.
class FakeWorkspace : public DesktopWorkspace {
  public:
    std::optional<BrowserCommand> browser = BrowserCommand{"/opt/chrome", {"chrome", "%U"}};
    std::function<void(const std::string& url)> onOpen = [](const std::string&) {};

    std::optional<BrowserCommand> findBrowser() const override { return browser; }
    void openInBrowser(const BrowserCommand&, const std::optional<std::string>& url) override {
        onOpen(url.value_or(""));
        const std::lock_guard lock(mutex_);
        opened_.push_back(url.value_or(""));
        changed_.notify_all();
    }
    bool openWithDefaultHandler(const std::string&) override { return false; }
    bool revealFolder(const std::filesystem::path&) override { return false; }

    // The URL opened in the browser the index-th time, waiting for it; throws
    // std::runtime_error when it does not come in time.
    std::string waitForOpened(std::size_t index = 0) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, std::chrono::seconds(10),
                               [&] { return opened_.size() > index; })) {
            throw std::runtime_error("the browser was not opened");
        }
        return opened_[index];
    }
    std::vector<std::string> opened() const {
        const std::lock_guard lock(mutex_);
        return opened_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
    std::condition_variable changed_;
};

}  // namespace zevirudi::test
