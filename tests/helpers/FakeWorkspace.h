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

namespace loftwing::test {

// A desktop whose browser is the test: it hands each opened URL to `onOpen` (which may throw, as
// a browser that does not start) and lets a test wait for it; the default handler and the file
// manager record what they were given.
class FakeWorkspace : public zevirudi::DesktopWorkspace {
  public:
    std::optional<zevirudi::BrowserCommand> browser =
        zevirudi::BrowserCommand{"/opt/chrome", {"chrome", "%U"}};
    bool defaultHandlerOpens = true;
    std::function<void(const std::string& url)> onOpen = [](const std::string&) {};

    std::optional<zevirudi::BrowserCommand> findBrowser() const override { return browser; }
    void openInBrowser(const zevirudi::BrowserCommand&,
                       const std::optional<std::string>& url) override {
        onOpen(url.value_or(""));
        const std::lock_guard lock(mutex_);
        opened_.push_back(url.value_or(""));
        changed_.notify_all();
    }
    bool openWithDefaultHandler(const std::string& url) override {
        const std::lock_guard lock(mutex_);
        openedByDefault.push_back(url);
        return defaultHandlerOpens;
    }
    bool revealFolder(const std::filesystem::path& folder) override {
        const std::lock_guard lock(mutex_);
        revealed.push_back(folder);
        return true;
    }

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

    // Read these once the code under test has returned.
    std::vector<std::string> openedByDefault;
    std::vector<std::filesystem::path> revealed;

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> opened_;
    std::condition_variable changed_;
};

}  // namespace loftwing::test
