#include "ui/AccountManagerViewModel.h"

#include "helpers/AccountScreensFixture.h"
#include "helpers/CapturingLogSink.h"
#include "helpers/QtTestApplication.h"
#include "ui/AppRootView.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

using loftwing::MailProvider;
using namespace loftwing::test;

// The view model over the shared fakes; the one application exists first.
struct Fixture : AccountScreensFixture {
    explicit Fixture(
        std::vector<loftwing::StoredAccount> accounts = {},
        std::function<std::string()> signIn = [] { return std::string(); })
        : AccountScreensFixture((qtTestApplication(), std::move(accounts)), std::move(signIn)) {}
};

// A failure that describes itself, for the cut to 300 characters.
class DescribedError : public std::exception, public loftwing::LocalizedError {
  public:
    explicit DescribedError(std::string text) : text_(std::move(text)) {}
    std::optional<std::string> errorDescription() const override { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

  private:
    std::string text_;
};

TEST(AccountManagerViewModelTest, PrepareRunsOnceEvenWhenAskedAgainWhileRunning) {
    Fixture fixture(
        {storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear())});
    auto& model = fixture.viewModel;
    QSignalSpy loading(&model, &AccountManagerViewModel::isLoadingChanged);
    fixture.store->gate.close();

    const auto first = model.prepare();
    EXPECT_TRUE(model.isLoading());
    EXPECT_TRUE(model.prepare().isFinished()) << "a second prepare while running returns at once";
    fixture.store->gate.open();
    waitFor(first);

    EXPECT_TRUE(model.hasPrepared());
    EXPECT_FALSE(model.isLoading());
    EXPECT_EQ(loading.count(), 2) << "true, then false; no signal without a change";
    ASSERT_EQ(model.accounts().size(), 1u);
    ASSERT_EQ(model.accountChecks().size(), 1u);
    EXPECT_EQ(model.accountChecks()[0].status, loftwing::AccountCheck::Status::ready);
    ASSERT_TRUE(model.chromeState().has_value());
    EXPECT_TRUE(std::filesystem::exists(model.chromeState()->nativeHostManifestURL));

    const int listings = fixture.store->listings();  // the load's and the check's
    waitFor(model.prepare());
    EXPECT_EQ(fixture.store->listings(), listings) << "prepare after it finished does nothing";
    EXPECT_EQ(loading.count(), 2);
}

TEST(AccountManagerViewModelTest, ConnectPressedTwiceStartsOneConnection) {
    Fixture fixture({}, []() -> std::string { throw loftwing::OperationCancelled(); });
    auto& model = fixture.viewModel;
    fixture.authenticator->gate.close();

    const auto first = model.connect(MailProvider::google, QStringLiteral("ann@example.com"));
    const auto second = model.connect(MailProvider::google, QStringLiteral("ann@example.com"));
    ASSERT_TRUE(second.isFinished());
    EXPECT_FALSE(second.result());
    EXPECT_TRUE(model.isConnecting());
    fixture.authenticator->gate.open();
    waitFor(first);

    EXPECT_FALSE(first.result());
    EXPECT_EQ(fixture.authenticator->calls(), 1);
    EXPECT_FALSE(model.isConnecting());
}

TEST(AccountManagerViewModelTest, ClosingTheSheetEndsTheWaitingSignInWithoutAMessage) {
    Fixture fixture({}, [] { return std::string("unused: the sign-in is stopped first"); });
    auto& model = fixture.viewModel;
    model.presentAddAccount();
    fixture.authenticator->gate.close();

    const auto connected = model.connect(MailProvider::google, QStringLiteral("ann@example.com"));
    model.dismissSheet();
    fixture.authenticator->gate.open();
    waitFor(connected);

    EXPECT_FALSE(connected.result());
    EXPECT_FALSE(model.isConnecting());
    EXPECT_EQ(model.errorMessage(), std::nullopt);
}

TEST(AccountManagerViewModelTest, ConnectionFailuresAndTheirMessages) {
    const std::string longText(400, 'x');
    const struct {
        const char* name;
        std::function<std::string()> signIn;
        std::optional<QString> message;
    } cases[] = {
        {"cancelled sign-in: no message",
         []() -> std::string { throw loftwing::OperationCancelled(); }, std::nullopt},
        {"error without a description: the fallback",
         []() -> std::string { throw std::runtime_error("socket closed"); },
         QStringLiteral("The mail account could not be connected.")},
        {"long description: cut to 300 characters",
         [longText]() -> std::string { throw DescribedError(longText); },
         QString(300, QLatin1Char('x'))},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        const auto log = CapturingLogSink::install();
        Fixture fixture({}, row.signIn);
        fixture.viewModel.presentAddAccount();

        const auto connected =
            fixture.viewModel.connect(MailProvider::google, QStringLiteral("ann@example.com"));
        waitFor(connected);

        EXPECT_FALSE(connected.result());
        EXPECT_EQ(fixture.viewModel.errorMessage(), row.message);
        EXPECT_TRUE(fixture.viewModel.presentedSheet().has_value()) << "the sheet stays open";
        const std::vector<std::string> expectedLog =
            row.message ? std::vector<std::string>{"accounts: Account connection failed: " +
                                                   row.message->toStdString()}
                        : std::vector<std::string>{};
        EXPECT_EQ(log->lines(), expectedLog);
    }
}

TEST(AccountManagerViewModelTest, StoreFailuresUseTheirFallbacks) {
    Fixture fixture(
        {storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear())});
    auto& model = fixture.viewModel;
    waitFor(model.loadAccounts());
    ASSERT_EQ(model.accounts().size(), 1u);

    fixture.store->removeFailure = std::make_exception_ptr(std::runtime_error("bus gone"));
    waitFor(model.remove(model.accounts()[0]));
    EXPECT_EQ(model.errorMessage(), QStringLiteral("The account could not be removed."));

    fixture.store->failWith(std::make_exception_ptr(std::runtime_error("bus gone")));
    waitFor(model.loadAccounts());
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Connected accounts could not be loaded."));
    EXPECT_EQ(model.accounts().size(), 1u) << "a failure keeps the accounts";
}

TEST(AccountManagerViewModelTest, RemovingTheLastAccountEmptiesAccountsAndChecks) {
    Fixture fixture(
        {storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear())});
    auto& model = fixture.viewModel;
    waitFor(model.loadAccounts());
    ASSERT_EQ(model.accountChecks().size(), 1u);

    waitFor(model.remove(model.accounts()[0]));

    EXPECT_TRUE(model.accounts().empty());
    EXPECT_TRUE(model.accountChecks().empty());
    EXPECT_FALSE(model.errorMessage().has_value());
}

TEST(AccountManagerViewModelTest, WithoutConfigurationNothingRunsAndConnectSaysSo) {
    qtTestApplication();
    AccountManagerViewModel model(
        []() -> AccountManagerServices { throw loftwing::LoftwingMultiError::itemNotFound(); });
    EXPECT_EQ(model.errorMessage(), QStringLiteral("Zevirudi configuration could not be loaded."));
    EXPECT_EQ(model.configuration(), nullptr);

    waitFor(model.prepare());
    EXPECT_TRUE(model.hasPrepared());
    EXPECT_FALSE(model.chromeState().has_value());
    const auto connected = model.connect(MailProvider::microsoft, QString());
    waitFor(connected);
    EXPECT_FALSE(connected.result());
    EXPECT_EQ(model.errorMessage(),
              QStringLiteral("The account connection service is not available."));
}

TEST(AccountManagerViewModelTest, OnboardingIsShownOnlyWhenNeverCompletedAndNoAccountExists) {
    const struct {
        const char* name;
        bool didComplete;
        int accounts;
        bool expected;
    } cases[] = {
        {"first start with an account", false, 1, false},
        {"completed before, no accounts", true, 0, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        std::vector<loftwing::StoredAccount> accounts;
        if (row.accounts > 0) {
            accounts.push_back(
                storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear()));
        }
        Fixture fixture(accounts);
        QSettings settings(fixture.scratch.filePath(QStringLiteral("settings.ini")),
                           QSettings::IniFormat);
        settings.setValue(AppRootView::didCompleteOnboardingKey, row.didComplete);

        AppRootView root(fixture.viewModel, settings);
        root.show();
        EXPECT_FALSE(root.onboardingIsPresented().has_value()) << "undecided while preparing";
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return root.onboardingIsPresented().has_value(); }, 10'000));
        EXPECT_EQ(*root.onboardingIsPresented(), row.expected);
    }
}

}  // namespace
}  // namespace zevirudi
