#pragma once

#include "ui/AccountManagerServices.h"

#include "records/AccountRecords.h"
#include "records/MailRecords.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

namespace zevirudi {

// The add-account sheet is shown while the view model holds one.
struct AddAccountDestination {
    QString id;

    friend bool operator==(const AddAccountDestination&, const AddAccountDestination&) = default;
};

// The one object through which every screen of the desktop application reads state and starts
// work. Lives on the main thread; core calls run on a pool of its own and come back to the main
// thread, so the window keeps responding while the keyring, the providers or the browser are
// busy. Every change signal fires only when its value really changed. Destroying the view model
// asks running work to stop and waits for it; no continuation runs after that.
class AccountManagerViewModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isLoading READ isLoading NOTIFY isLoadingChanged)
    Q_PROPERTY(bool isConnecting READ isConnecting NOTIFY isConnectingChanged)
    Q_PROPERTY(bool hasPrepared READ hasPrepared NOTIFY hasPreparedChanged)
    Q_PROPERTY(bool isCheckingAccounts READ isCheckingAccounts NOTIFY isCheckingAccountsChanged)
    Q_PROPERTY(QString errorMessage READ errorMessageText NOTIFY errorMessageChanged)

  public:
    using ServicesFactory = std::function<AccountManagerServices()>;

    // Builds the services with `makeServices`. When that fails (the configuration cannot be
    // loaded), the view model has no services, every operation does nothing (connect reports the
    // missing service) and errorMessage says the configuration could not be loaded.
    explicit AccountManagerViewModel(const ServicesFactory& makeServices,
                                     QObject* parent = nullptr);
    ~AccountManagerViewModel() override;

    const std::vector<loftwing::ConnectedAccount>& accounts() const { return accounts_; }
    bool isLoading() const { return isLoading_; }
    bool isConnecting() const { return isConnecting_; }
    bool hasPrepared() const { return hasPrepared_; }
    const std::optional<ChromeIntegrationState>& chromeState() const { return chromeState_; }
    const std::vector<loftwing::AccountCheck>& accountChecks() const { return accountChecks_; }
    bool isCheckingAccounts() const { return isCheckingAccounts_; }
    const std::optional<QString>& errorMessage() const { return errorMessage_; }
    QString errorMessageText() const { return errorMessage_.value_or(QString()); }
    const std::optional<AddAccountDestination>& presentedSheet() const { return presentedSheet_; }
    // Absent when the configuration could not be loaded.
    const loftwing::LoftwingAppConfiguration* configuration() const {
        return services_ ? &services_->configuration : nullptr;
    }

    // The first load after launch: the accounts, their check, then the browser manifest. Does
    // nothing while it runs or once it has finished.
    QFuture<void> prepare();
    // Reloads the accounts, then checks them.
    QFuture<void> loadAccounts();
    // One poll of every account; only its per-account checks are kept. One check at a time.
    QFuture<void> checkAccounts();
    // Connects an inbox through the browser; `email` goes to the provider as the login hint.
    // Resolves to true only when the inbox was connected. Ignored while a connection runs.
    QFuture<bool> connect(loftwing::MailProvider provider, const QString& email);
    QFuture<void> remove(const loftwing::ConnectedAccount& account);
    // (Re)writes the native messaging host manifest.
    QFuture<void> installChromeConnection();
    // Resolves to true when Chrome was opened on the extension page.
    QFuture<bool> openChromeSetup();

    void presentAddAccount() {
        setPresentedSheet(AddAccountDestination{QStringLiteral("add-account")});
    }
    void dismissSheet() { setPresentedSheet(std::nullopt); }
    void clearErrorMessage() { setErrorMessage(std::nullopt); }

  signals:
    void accountsChanged();
    void isLoadingChanged();
    void isConnectingChanged();
    void hasPreparedChanged();
    void chromeStateChanged();
    void accountChecksChanged();
    void isCheckingAccountsChanged();
    void errorMessageChanged();
    void presentedSheetChanged();

  private:
    void setAccounts(std::vector<loftwing::ConnectedAccount> value);
    void setIsLoading(bool value);
    void setIsConnecting(bool value);
    void setHasPrepared(bool value);
    void setChromeState(std::optional<ChromeIntegrationState> value);
    void setAccountChecks(std::vector<loftwing::AccountCheck> value);
    void setIsCheckingAccounts(bool value);
    void setErrorMessage(std::optional<QString> value);
    void setPresentedSheet(std::optional<AddAccountDestination> value);
    // Sets errorMessage from a failure, unless it is a cancellation; returns the text set.
    std::optional<QString> reportFailure(const std::exception_ptr& error, const char* fallback);

    std::optional<AccountManagerServices> services_;
    std::vector<loftwing::ConnectedAccount> accounts_;
    bool isLoading_ = false;
    bool isConnecting_ = false;
    bool hasPrepared_ = false;
    std::optional<ChromeIntegrationState> chromeState_;
    std::vector<loftwing::AccountCheck> accountChecks_;
    bool isCheckingAccounts_ = false;
    std::optional<QString> errorMessage_;
    std::optional<AddAccountDestination> presentedSheet_;

    std::stop_source stop_;
    // Last: destroyed first, so its threads are joined while everything they use still exists.
    QThreadPool pool_;
};

// The text the desktop application shows for a failure: the error's own description cut to its
// first 300 characters, or `fallback` when it has none. Nothing for a cancellation.
std::optional<QString> desktopErrorText(const std::exception_ptr& error, const char* fallback);

}  // namespace zevirudi
