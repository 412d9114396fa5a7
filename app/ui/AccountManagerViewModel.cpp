#include "ui/AccountManagerViewModel.h"

#include "ui/OffMainThread.h"

#include "mail/GmailMailboxClient.h"
#include "mail/MicrosoftMailboxClient.h"
#include "mail/RetrySleep.h"
#include "monitor/MailboxMonitor.h"
#include "oauth/OAuthTokenManager.h"
#include "records/Errors.h"
#include "records/NativeMessages.h"
#include "support/LogSink.h"
#include "support/Text.h"
#include "support/Time.h"

#include <cmath>
#include <cstdint>

namespace zevirudi {
namespace {

using loftwing::AccountCheck;
using loftwing::ConnectedAccount;
using loftwing::StoredAccount;

constexpr std::size_t errorMessageCharacters = 300;
// Only fills the poll's origin field: a check wants the per-account results, not messages.
constexpr const char* checkOrigin = "https://account-check.zevirudi.invalid";

QFuture<void> done() {
    return QtFuture::makeReadyFuture();
}

QFuture<bool> resolved(bool value) {
    return QtFuture::makeReadyFuture(value);
}

std::vector<AccountCheck> pollChecks(const AccountManagerServices& services, std::stop_token stop) {
    auto tokenManager = std::make_shared<loftwing::OAuthTokenManager>(
        services.accountStore, services.transport,
        loftwing::tokenManagerConfigurations(services.configuration));
    std::vector<std::shared_ptr<loftwing::MailboxClient>> clients{
        std::make_shared<loftwing::GmailMailboxClient>(
            services.transport, tokenManager, loftwing::standardRetrySleep(),
            services.configuration.apiBaseURL(loftwing::MailProvider::google)),
        std::make_shared<loftwing::MicrosoftMailboxClient>(
            services.transport, tokenManager,
            services.configuration.apiBaseURL(loftwing::MailProvider::microsoft))};
    loftwing::MailboxMonitor monitor(services.accountStore, std::move(clients));
    const auto now = static_cast<std::int64_t>(
        std::trunc(loftwing::secondsSince1970(loftwing::currentTime()) * 1000.0));
    // The monitor has no stop token of its own; a stop request between polls still saves one.
    if (stop.stop_requested()) {
        throw loftwing::OperationCancelled();
    }
    return monitor.poll(loftwing::WatchRequest("poll", checkOrigin, now, {})).accountChecks;
}

}  // namespace

std::optional<QString> desktopErrorText(const std::exception_ptr& error, const char* fallback) {
    try {
        std::rethrow_exception(error);
    } catch (const loftwing::OperationCancelled&) {
        return std::nullopt;
    } catch (const std::exception& failure) {
        if (const auto description = loftwing::userFacingDescription(failure)) {
            return QString::fromStdString(
                loftwing::prefixCharacters(*description, errorMessageCharacters));
        }
    } catch (...) {
    }
    return QString::fromUtf8(fallback);
}

AccountManagerViewModel::AccountManagerViewModel(const ServicesFactory& makeServices,
                                                 QObject* parent)
    : QObject(parent) {
    // A blocked browser sign-in holds a thread for minutes; checks and listings must not queue
    // behind it.
    pool_.setMaxThreadCount(8);
    try {
        services_ = makeServices();
    } catch (...) {
        errorMessage_ = QStringLiteral("Zevirudi configuration could not be loaded.");
    }
}

AccountManagerViewModel::~AccountManagerViewModel() {
    stop_.request_stop();
    pool_.waitForDone();
}

QFuture<void> AccountManagerViewModel::prepare() {
    if (isLoading_ || hasPrepared_) {
        return done();
    }
    setIsLoading(true);
    return loadAccounts()
        .then(this, [this] { return installChromeConnection(); })
        .unwrap()
        .then(this, [this] {
            setIsLoading(false);
            setHasPrepared(true);
        });
}

QFuture<void> AccountManagerViewModel::loadAccounts() {
    if (!services_ || !services_->accountStore) {
        return done();
    }
    auto store = services_->accountStore;
    return runOffMainThread(pool_, [store] { return store->allAccounts(); })
        .then(this,
              [this](Outcome<std::vector<StoredAccount>> outcome) -> QFuture<void> {
                  if (outcome.error) {
                      reportFailure(outcome.error, "Connected accounts could not be loaded.");
                      return done();
                  }
                  std::vector<ConnectedAccount> accounts;
                  accounts.reserve(outcome.value->size());
                  for (const auto& stored : *outcome.value) {
                      accounts.push_back(stored.account);
                  }
                  setAccounts(std::move(accounts));
                  setErrorMessage(std::nullopt);
                  return checkAccounts();
              })
        .unwrap();
}

QFuture<void> AccountManagerViewModel::checkAccounts() {
    if (isCheckingAccounts_ || !services_ || !services_->accountStore) {
        return done();
    }
    setIsCheckingAccounts(true);
    return runOffMainThread(pool_,
                            [services = *services_, stop = stop_.get_token()] {
                                return pollChecks(services, stop);
                            })
        .then(this, [this](Outcome<std::vector<AccountCheck>> outcome) {
            if (outcome.value) {
                setAccountChecks(std::move(*outcome.value));
            }
            setIsCheckingAccounts(false);
        });
}

QFuture<bool> AccountManagerViewModel::connect(loftwing::MailProvider provider,
                                               const QString& email) {
    if (!services_ || !services_->connector) {
        setErrorMessage(QStringLiteral("The account connection service is not available."));
        return resolved(false);
    }
    if (isConnecting_) {
        return resolved(false);
    }
    setIsConnecting(true);
    setErrorMessage(std::nullopt);
    return runOffMainThread(
               pool_,
               [connector = services_->connector, provider, hint = email.toStdString(),
                stop = stop_.get_token()] { return connector->connect(provider, hint, stop); })
        .then(this,
              [this](Outcome<ConnectedAccount> outcome) -> QFuture<bool> {
                  if (outcome.error) {
                      if (const auto text = reportFailure(
                              outcome.error, "The mail account could not be connected.")) {
                          loftwing::logMessage(loftwing::LogLevel::error, "accounts",
                                               "Account connection failed: " + text->toStdString());
                      }
                      setIsConnecting(false);
                      return resolved(false);
                  }
                  return loadAccounts().then(this, [this] {
                      setPresentedSheet(std::nullopt);
                      setIsConnecting(false);
                      return true;
                  });
              })
        .unwrap();
}

QFuture<void> AccountManagerViewModel::remove(const ConnectedAccount& account) {
    if (!services_ || !services_->accountStore) {
        return done();
    }
    return runOffMainThread(
               pool_, [store = services_->accountStore, id = account.id] { store->remove(id); })
        .then(this,
              [this](Outcome<std::monostate> outcome) -> QFuture<void> {
                  if (outcome.error) {
                      reportFailure(outcome.error, "The account could not be removed.");
                      return done();
                  }
                  return loadAccounts();
              })
        .unwrap();
}

QFuture<void> AccountManagerViewModel::installChromeConnection() {
    if (!services_ || !services_->chromeIntegration) {
        return done();
    }
    return runOffMainThread(
               pool_,
               [chrome = services_->chromeIntegration, configuration = services_->configuration] {
                   return chrome->installNativeHost(configuration);
               })
        .then(this, [this](Outcome<ChromeIntegrationState> outcome) {
            if (outcome.error) {
                reportFailure(outcome.error, "The Chrome connection could not be installed.");
                return;
            }
            setChromeState(std::move(*outcome.value));
        });
}

QFuture<bool> AccountManagerViewModel::openChromeSetup() {
    return installChromeConnection()
        .then(this,
              [this]() -> QFuture<bool> {
                  if (!services_ || !services_->openSetupPage) {
                      return resolved(false);
                  }
                  std::optional<std::filesystem::path> folder;
                  if (chromeState_) {
                      folder = chromeState_->extensionFolderURL;
                  }
                  return runOffMainThread(pool_, [open = services_->openSetupPage,
                                                  configuration = services_->configuration,
                                                  folder] { open(configuration, folder); })
                      .then(this, [this](Outcome<std::monostate> outcome) {
                          if (outcome.error) {
                              reportFailure(outcome.error, "Google Chrome could not be opened.");
                              return false;
                          }
                          return true;
                      });
              })
        .unwrap();
}

std::optional<QString> AccountManagerViewModel::reportFailure(const std::exception_ptr& error,
                                                              const char* fallback) {
    auto text = desktopErrorText(error, fallback);
    if (text) {
        setErrorMessage(text);
    }
    return text;
}

namespace {

template <typename T, typename Signal>
void assign(AccountManagerViewModel* model, T& field, T value, Signal signal) {
    if (field == value) {
        return;
    }
    field = std::move(value);
    emit(model->*signal)();
}

}  // namespace

void AccountManagerViewModel::setAccounts(std::vector<ConnectedAccount> value) {
    assign(this, accounts_, std::move(value), &AccountManagerViewModel::accountsChanged);
}
void AccountManagerViewModel::setIsLoading(bool value) {
    assign(this, isLoading_, value, &AccountManagerViewModel::isLoadingChanged);
}
void AccountManagerViewModel::setIsConnecting(bool value) {
    assign(this, isConnecting_, value, &AccountManagerViewModel::isConnectingChanged);
}
void AccountManagerViewModel::setHasPrepared(bool value) {
    assign(this, hasPrepared_, value, &AccountManagerViewModel::hasPreparedChanged);
}
void AccountManagerViewModel::setChromeState(std::optional<ChromeIntegrationState> value) {
    assign(this, chromeState_, std::move(value), &AccountManagerViewModel::chromeStateChanged);
}
void AccountManagerViewModel::setAccountChecks(std::vector<AccountCheck> value) {
    assign(this, accountChecks_, std::move(value), &AccountManagerViewModel::accountChecksChanged);
}
void AccountManagerViewModel::setIsCheckingAccounts(bool value) {
    assign(this, isCheckingAccounts_, value, &AccountManagerViewModel::isCheckingAccountsChanged);
}
void AccountManagerViewModel::setErrorMessage(std::optional<QString> value) {
    assign(this, errorMessage_, std::move(value), &AccountManagerViewModel::errorMessageChanged);
}
void AccountManagerViewModel::setPresentedSheet(std::optional<AddAccountDestination> value) {
    assign(this, presentedSheet_, std::move(value),
           &AccountManagerViewModel::presentedSheetChanged);
}

}  // namespace zevirudi
