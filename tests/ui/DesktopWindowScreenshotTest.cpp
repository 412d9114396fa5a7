// The desktop window under a private Xvfb, while preparing and after, with screenshots in
// build/screenshots/ for a person to look at.

#include "desktop/DesktopWindow.h"

#include "helpers/AccountScreensFixture.h"
#include "helpers/QtTestApplication.h"
#include "helpers/XvfbServer.h"
#include "ui/AccountManagerView.h"
#include "ui/AccountManagerViewModel.h"
#include "ui/AddAccountView.h"
#include "ui/AppRootView.h"
#include "ui/OnboardingView.h"

#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

using loftwing::MailProvider;
using namespace loftwing::test;

void save(QWidget& widget, const char* name) {
    const auto path = screenshotPath(QStringLiteral("desktop-%1").arg(name));
    ASSERT_TRUE(widget.grab().save(path)) << path.toStdString();
}

// Gmail answers with an empty inbox, Microsoft refuses the token: one account works, one needs a
// new sign-in.
struct Window : AccountScreensFixture {
    Window(std::vector<loftwing::StoredAccount> accounts, bool didCompleteOnboarding)
        : AccountScreensFixture(std::move(accounts)),
          updates(BundleInfo{"1.0.0", "1.0.0", "", ""}, checkResultsTransport(mailGate)),
          settings(scratch.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat) {
        settings.setValue(AppRootView::didCompleteOnboardingKey, didCompleteOnboarding);
    }

    AppUpdates updates;
    QSettings settings;
};

bool shows(const DesktopWindow& window, const char* type) {
    auto* content = window.rootView().content();
    return content != nullptr && content->inherits(type) && content->isVisible();
}

void preparingThenTheAccountsThenTheSheet() {
    Window state(
        {storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear()),
         storedAccount("microsoft:2", MailProvider::microsoft, "bob@outlook.example", nextYear()),
         storedAccount("google:3", MailProvider::google, "carol.work@example.org", nextYear())},
        true);
    state.store->gate.close();
    DesktopWindow window(state.viewModel, state.updates, state.settings,
                         BundleInfo{"1.0.0", "1.0.0", "", ""});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(window.checkForUpdatesAction().isEnabled()) << "updates are not configured";
    EXPECT_EQ(window.rootView().content()->size(), QSize(570, 520));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()) << "the window follows its content";
    save(window, "preparing");

    state.store->gate.open();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shows(window, "zevirudi::AccountManagerView"); }, 10'000));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return state.viewModel.accountChecks().size() == 3; }, 10'000));
    QTest::qWait(50);  // the list's last layout pass
    save(window, "accounts");

    state.viewModel.presentAddAccount();
    AddAccountView* sheet = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            sheet = window.findChild<AddAccountView*>();
            return sheet != nullptr && sheet->isVisible();
        },
        10'000));
    sheet->reject();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !state.viewModel.presentedSheet().has_value(); }, 10'000));
}

void onboardingOnFirstStartThenTheEmptyAccountList() {
    Window state({}, false);
    DesktopWindow window(state.viewModel, state.updates, state.settings,
                         BundleInfo{"1.0.0", "1.0.0", "", ""});
    window.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shows(window, "zevirudi::OnboardingView"); }, 10'000));

    const auto buttons = window.rootView().content()->findChildren<QPushButton*>();
    const auto found = std::find_if(buttons.begin(), buttons.end(), [](QPushButton* button) {
        return button->text() == QStringLiteral("Finish setup");
    });
    ASSERT_NE(found, buttons.end());
    (*found)->click();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return shows(window, "zevirudi::AccountManagerView"); }, 10'000));
    EXPECT_TRUE(state.settings.value(AppRootView::didCompleteOnboardingKey).toBool());
    save(window, "no-accounts");
}

TEST(DesktopWindowScreenshotTest, PreparingAccountsSheetOnboardingAndEmptyList) {
    {
        SCOPED_TRACE("returning user with three accounts");
        preparingThenTheAccountsThenTheSheet();
    }
    {
        SCOPED_TRACE("first start");
        onboardingOnFirstStartThenTheEmptyAccountList();
    }
}

}  // namespace
}  // namespace zevirudi

int main(int argc, char** argv) {
    return loftwing::test::screenshotTestMain(argc, argv);
}
