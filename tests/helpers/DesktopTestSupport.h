#pragma once

// Seams of the desktop view model for tests: a gated account store, a scripted browser sign-in,
// services over them, and waiting for a QFuture on the main thread.

#include "helpers/MailTestFakes.h"
#include "helpers/ScriptedHTTPTransport.h"
#include "ui/AccountManagerServices.h"

#include <QEventLoop>
#include <QFuture>
#include <QFutureWatcher>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <stdexcept>

namespace loftwing::test {

// Blocks a worker until the test opens it; open by default.
class Gate {
  public:
    void close() { open_ = false; }
    void open() {
        open_ = true;
        open_.notify_all();
    }
    void pass() { open_.wait(false); }

  private:
    std::atomic<bool> open_ = true;
};

// FakeAccountStore whose listings wait at a gate and are counted, and whose removal can fail.
class GatedAccountStore : public FakeAccountStore {
  public:
    using FakeAccountStore::FakeAccountStore;

    std::vector<StoredAccount> allAccounts() override {
        listings_ += 1;
        gate.pass();
        return FakeAccountStore::allAccounts();
    }
    void remove(const std::string& accountID) override {
        if (removeFailure) {
            std::rethrow_exception(removeFailure);
        }
        FakeAccountStore::remove(accountID);
    }
    int listings() const { return listings_; }

    Gate gate;
    std::exception_ptr removeFailure;

  private:
    std::atomic<int> listings_ = 0;
};

// A browser sign-in that runs a function of the test's (after passing its gate).
class ScriptedAuthenticator : public zevirudi::OAuthWebAuthenticating {
  public:
    explicit ScriptedAuthenticator(std::function<std::string()> script)
        : script_(std::move(script)) {}
    std::string authenticate(const std::string&, const std::string&,
                             std::stop_token stop) override {
        calls_ += 1;
        gate.pass();
        // Like the browser's sign-in, a stopped wait ends as cancelled.
        if (stop.stop_requested()) {
            throw OperationCancelled();
        }
        return script_();
    }
    int calls() const { return calls_; }

    Gate gate;

  private:
    std::function<std::string()> script_;
    std::atomic<int> calls_ = 0;
};

inline LoftwingAppConfiguration testConfiguration() {
    ProviderOAuthConfiguration google{"client",
                                      "com.example.app:/oauth2redirect",
                                      "https://accounts.example.com/auth",
                                      "https://accounts.example.com/token",
                                      {"openid"},
                                      {},
                                      {}};
    LoftwingAppConfiguration configuration;
    configuration.extensionID = "abcdefghijklmnopabcdefghijklmnop";
    configuration.extensionInstallURL = "https://example.com/extension";
    configuration.google = google;
    configuration.microsoft = google;
    return configuration;
}

// Mail requests answered with empty inboxes, so every check of an account with a fresh token
// is ready.
inline std::shared_ptr<ScriptedHTTPTransport> emptyInboxTransport() {
    return std::make_shared<ScriptedHTTPTransport>([](const HTTPRequest&, std::stop_token) {
        return jsonResponse(200, R"({"value":[],"resultSizeEstimate":0})");
    });
}

inline Timestamp nextYear() {
    return currentTime() + std::chrono::hours(24 * 365);
}

// Services over the fakes; the Chrome manifest goes into `scratch`.
inline zevirudi::AccountManagerServices testServices(
    const std::shared_ptr<AccountStore>& store,
    const std::shared_ptr<zevirudi::OAuthWebAuthenticating>& authenticator,
    const QTemporaryDir& scratch) {
    zevirudi::AccountManagerServices services;
    services.configuration = testConfiguration();
    services.accountStore = store;
    services.transport = emptyInboxTransport();
    services.connector = std::make_shared<zevirudi::OAuthAccountConnector>(
        services.configuration, store, authenticator, services.transport);
    const std::filesystem::path root = scratch.path().toStdString();
    services.chromeIntegration =
        std::make_shared<zevirudi::ChromeIntegration>(root / "config", "/usr/bin/zevirudi", root);
    services.openSetupPage = [](const LoftwingAppConfiguration&,
                                const std::optional<std::filesystem::path>&) {};
    return services;
}

// Serves the main thread's events until the future finished; fails after ten seconds.
template <typename T>
void waitFor(const QFuture<T>& future) {
    if (future.isFinished()) {
        return;
    }
    QEventLoop loop;
    QFutureWatcher<T> watcher;
    QObject::connect(&watcher, &QFutureWatcher<T>::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    loop.exec();
    if (!future.isFinished()) {
        throw std::runtime_error("the operation did not finish");
    }
}

}  // namespace loftwing::test
