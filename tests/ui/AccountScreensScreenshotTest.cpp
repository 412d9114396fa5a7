// The account screens under a private Xvfb in Fusion with the GNOME icon theme, in the light
// palette and again after the desktop switched to dark, with screenshots in build/screenshots/ for
// a person to look at. The report sheet has its own in tests/reports.

#include "ui/AccountManagerView.h"
#include "ui/AddAccountView.h"
#include "ui/DesktopColourScheme.h"

#include "helpers/AccountScreensFixture.h"
#include "helpers/QtTestApplication.h"
#include "helpers/XvfbServer.h"

#include <QApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

using loftwing::MailProvider;
using namespace loftwing::test;

// Saves the widget as screenshots/<name>-<mode>.png and answers the lightness of its top left.
int shoot(QWidget& widget, const char* name, const char* mode) {
    QApplication::processEvents();
    const QImage image = widget.grab().toImage();
    EXPECT_TRUE(image.save(screenshotPath(QStringLiteral("%1-%2").arg(name, mode))));
    return QColor(image.pixel(3, 3)).lightness();
}

// Each window is shot in the light palette, then again once the palette turned dark.
void shootInBothModes(QWidget& widget, const char* name) {
    SCOPED_TRACE(name);
    QApplication::setPalette(QApplication::style()->standardPalette());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
    EXPECT_GT(shoot(widget, name, "light"), 200);
    QApplication::setPalette(darkDesktopPalette());
    EXPECT_LT(shoot(widget, name, "dark"), 60);
}

void shootManager(std::vector<loftwing::StoredAccount> accounts, const char* name) {
    AccountScreensFixture state(std::move(accounts));
    AccountManagerView view(state.viewModel);
    view.show();
    waitFor(state.viewModel.prepare());
    shootInBothModes(view, name);
}

// A sheet whose chosen provider is not configured and whose last connection failed shows the
// orange notice and the red error line together.
void addAccountSheet() {
    AccountScreensFixture state(
        {}, []() -> std::string { throw loftwing::LoftwingMultiError::authenticationFailed(); },
        withoutMicrosoft);
    AccountManagerView view(state.viewModel);
    view.show();
    waitFor(state.viewModel.prepare());
    state.viewModel.presentAddAccount();
    auto* sheet = view.findChild<AddAccountView*>();
    ASSERT_NE(sheet, nullptr);
    named<QLineEdit>(*sheet, "email")->setText(QStringLiteral("ann@example.com"));
    shootInBothModes(*sheet, "add-account");

    waitFor(state.viewModel.connect(MailProvider::google, QStringLiteral("ann@example.com")));
    state.viewModel.clearErrorMessage();
    named<QPushButton>(*sheet, "providerMicrosoft")->click();
    waitFor(state.viewModel.connect(MailProvider::google, QStringLiteral("ann@example.com")));
    ASSERT_TRUE(state.viewModel.errorMessage().has_value());
    shootInBothModes(*sheet, "add-account-notice-and-error");
    auto* alert = sheet->findChild<QMessageBox*>();
    ASSERT_NE(alert, nullptr);
    shootInBothModes(*alert, "add-account-alert");
}

TEST(AccountScreensScreenshotTest, ManagerAndSheetInLightAndDark) {
    QIcon::setThemeName(QStringLiteral("Adwaita"));
    shootManager({}, "manager-empty");
    shootManager(threeAccounts(), "manager-accounts");
    addAccountSheet();
    // A desktop without an icon theme: every symbol is the bundled drawing.
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    shootManager(threeAccounts(), "manager-accounts-bundled-icons");
}

}  // namespace
}  // namespace zevirudi

int main(int argc, char** argv) {
    return loftwing::test::screenshotTestMain(argc, argv);
}
