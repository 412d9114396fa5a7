#pragma once

// The account screens over the real view model with fakes at its seams: a gated account store, a
// scripted browser sign-in, and mail answers chosen per account so that each of the three check
// results can be produced.

#include "helpers/DesktopTestSupport.h"
#include "ui/AccountManagerViewModel.h"

namespace loftwing::test {

// Gmail answers with an empty inbox (ready), Microsoft refuses the token (reconnect required),
// and mail for an address holding "broken" is not found (unavailable). Every answer
// waits at `gate` first.
inline std::shared_ptr<ScriptedHTTPTransport> checkResultsTransport(
    const std::shared_ptr<Gate>& gate) {
    return std::make_shared<ScriptedHTTPTransport>(
        [gate](const HTTPRequest& request, std::stop_token) {
            gate->pass();
            for (const auto& [name, value] : request.headers) {
                if (name == "Authorization" && value.find("broken") != std::string::npos) {
                    return jsonResponse(404, R"({"error":{"code":404}})");
                }
            }
            if (request.url.find("graph.microsoft.com") != std::string::npos) {
                return jsonResponse(401, R"({"error":{"code":"InvalidAuthenticationToken"}})");
            }
            return jsonResponse(200, R"({"resultSizeEstimate":0})");
        });
}

// Changes the services before the view model takes them (and may throw, as a missing
// configuration does).
using ServicesChange = std::function<void(zevirudi::AccountManagerServices&)>;

inline void withoutMicrosoft(zevirudi::AccountManagerServices& services) {
    services.configuration.microsoft.clientID.clear();
}

struct AccountScreensFixture {
    explicit AccountScreensFixture(
        std::vector<StoredAccount> accounts = {},
        std::function<std::string()> signIn = [] { return std::string(); },
        ServicesChange change = [](zevirudi::AccountManagerServices&) {})
        : store(std::make_shared<GatedAccountStore>(std::move(accounts))),
          authenticator(std::make_shared<ScriptedAuthenticator>(std::move(signIn))),
          mailGate(std::make_shared<Gate>()),
          viewModel([this, change = std::move(change)] {
              auto services = testServices(store, authenticator, scratch);
              services.transport = checkResultsTransport(mailGate);
              change(services);
              return services;
          }) {}

    // Every worker that waits at a gate is let go before the view model joins them.
    ~AccountScreensFixture() {
        store->gate.open();
        authenticator->gate.open();
        mailGate->open();
    }

    QTemporaryDir scratch;
    std::shared_ptr<GatedAccountStore> store;
    std::shared_ptr<ScriptedAuthenticator> authenticator;
    std::shared_ptr<Gate> mailGate;
    zevirudi::AccountManagerViewModel viewModel;
};

// Ann (Gmail, ready), Bob (Outlook, reconnect required), Carol (Gmail, unavailable).
inline std::vector<StoredAccount> threeAccounts() {
    return {
        storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear()),
        storedAccount("microsoft:2", MailProvider::microsoft, "bob@outlook.example", nextYear()),
        storedAccount("google:3", MailProvider::google, "carol.broken@example.org", nextYear())};
}

// The widget of type T named `name` under `root`; fails the test when there is none.
template <typename T>
T* named(const QObject& root, const char* name) {
    auto* found = root.findChild<T*>(QString::fromLatin1(name));
    if (found == nullptr) {
        throw std::runtime_error(std::string("no widget named ") + name);
    }
    return found;
}

}  // namespace loftwing::test
