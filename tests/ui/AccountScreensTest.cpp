// The account screens offscreen over the real view model with fakes at its seams: what each state
// shows, what each control allows, and where each control's action goes.

#include "ui/AccountManagerView.h"
#include "ui/AccountRow.h"
#include "ui/AddAccountView.h"
#include "ui/Glyphs.h"
#include "ui/MissedResultReportView.h"

#include "helpers/AccountScreensFixture.h"
#include "helpers/QtTestApplication.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

using loftwing::AccountCheck;
using loftwing::MailProvider;
using namespace loftwing::test;

std::vector<QString> rowStatuses(const AccountManagerView& view) {
    std::vector<QString> statuses;
    for (const auto* row : view.findChildren<AccountRow*>()) {
        statuses.push_back(named<QLabel>(*row, "status")->text());
    }
    return statuses;
}

QString shownPage(const AccountManagerView& view) {
    return view.findChild<QStackedWidget*>()->currentWidget()->objectName();
}

TEST(AccountScreensTest, ContentFollowsLoadingAndAccounts) {
    qtTestApplication();
    const auto one =
        std::vector{storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear())};
    const struct {
        const char* name;
        std::vector<loftwing::StoredAccount> accounts;
        std::function<void(AccountScreensFixture&)> act;
        const char* page;
    } cases[] = {
        {"first load, nothing listed yet",
         {},
         [](AccountScreensFixture& state) {
             state.store->gate.close();
             state.viewModel.prepare();
         },
         "loading"},
        {"no accounts",
         {},
         [](AccountScreensFixture& state) { waitFor(state.viewModel.prepare()); },
         "empty"},
        {"accounts", one, [](AccountScreensFixture& state) { waitFor(state.viewModel.prepare()); },
         "list"},
        {"reload while accounts are shown", one,
         [](AccountScreensFixture& state) {
             waitFor(state.viewModel.loadAccounts());
             state.store->gate.close();
             state.viewModel.prepare();
         },
         "list"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        AccountScreensFixture state(row.accounts);
        AccountManagerView view(state.viewModel);
        row.act(state);
        EXPECT_EQ(shownPage(view), row.page);
    }
}

TEST(AccountScreensTest, RowShowsItsCheckAndOffersItsActions) {
    qtTestApplication();
    const auto check = [](AccountCheck::Status status) {
        return AccountCheck{"google:1", status, "", ""};
    };
    const struct {
        const char* name;
        std::optional<AccountCheck> check;
        bool isBusy;
        const char* status;
        bool orange;
        std::optional<bool> connectAgainEnabled;  // absent: not shown
    } cases[] = {
        {"not checked", std::nullopt, false, "Mail access not checked", true, std::nullopt},
        {"ready", check(AccountCheck::Status::ready), false, "Mail access works", false,
         std::nullopt},
        {"reconnect required", check(AccountCheck::Status::reconnectRequired), false,
         "Connect again to restore mail access", true, true},
        {"reconnect required while busy", check(AccountCheck::Status::reconnectRequired), true,
         "Connect again to restore mail access", true, false},
        {"unavailable", check(AccountCheck::Status::unavailable), false,
         "Mail access failed. Try the check again.", true, std::nullopt},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        int reconnects = 0;
        int removals = 0;
        AccountRow view(
            {"google:1", MailProvider::google, "ann@example.com", std::nullopt}, row.check,
            row.isBusy, [&] { reconnects += 1; }, [&] { removals += 1; });
        const auto* status = named<QLabel>(view, "status");
        EXPECT_EQ(status->text(), row.status);
        const QColor colour = status->palette().color(QPalette::WindowText);
        EXPECT_EQ(colour.red() > 150 && colour.blue() < 80, row.orange) << colour.name().data();
        EXPECT_EQ(named<QLabel>(view, "provider")->text(), "Gmail");

        auto* again = view.findChild<QPushButton*>(QStringLiteral("connectAgain"));
        EXPECT_EQ(again != nullptr, row.connectAgainEnabled.has_value());
        if (again != nullptr) {
            EXPECT_EQ(again->isEnabled(), *row.connectAgainEnabled);
            again->click();
            EXPECT_EQ(reconnects, *row.connectAgainEnabled ? 1 : 0);
        }
        auto* actions = named<QToolButton>(view, "accountActions");
        EXPECT_EQ(actions->accessibleName(), "Account actions for ann@example.com");
        const auto items = actions->menu()->actions();
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items.front()->text(), "Remove account");
        items.front()->trigger();
        EXPECT_EQ(removals, 1) << "removed at once, without a confirmation";
    }
}

// Each account's row shows its own check, in the list's order; "Check mail access" and
// "Connect again" wait while a check runs.
TEST(AccountScreensTest, ManagerRowsFollowTheChecks) {
    qtTestApplication();
    AccountScreensFixture state(threeAccounts());
    AccountManagerView view(state.viewModel);
    waitFor(state.viewModel.prepare());
    EXPECT_EQ(rowStatuses(view),
              (std::vector<QString>{"Mail access works", "Connect again to restore mail access",
                                    "Mail access failed. Try the check again."}));
    auto* check = named<QPushButton>(view, "checkMailAccess");
    EXPECT_TRUE(check->isEnabled());
    EXPECT_EQ(view.findChildren<QPushButton*>(QStringLiteral("connectAgain")).size(), 1);

    state.mailGate->close();
    const auto running = state.viewModel.checkAccounts();
    EXPECT_EQ(check->text(), "Checking mail access…");
    EXPECT_FALSE(check->isEnabled());
    EXPECT_FALSE(named<QPushButton>(view, "connectAgain")->isEnabled());
    state.mailGate->open();
    waitFor(running);
    EXPECT_EQ(check->text(), "Check mail access");
    EXPECT_EQ(named<QLabel>(view, "chromeStatus")->text(), "Chrome connection installed");

    // Tab walks the window top to bottom, every control named for a screen reader.
    view.show();
    std::vector<QString> order;
    QWidget* focus = named<QPushButton>(view, "addAccount");
    do {
        if (focus->isVisible() && (focus->focusPolicy() & Qt::TabFocus) != 0) {
            EXPECT_FALSE(focus->accessibleName().isEmpty()) << focus->metaObject()->className();
            order.push_back(focus->accessibleName());
        }
        focus = focus->nextInFocusChain();
    } while (focus != named<QPushButton>(view, "addAccount"));
    EXPECT_EQ(order, (std::vector<QString>{
                         "Add account", "Account actions for ann@example.com", "Connect again",
                         "Account actions for bob@outlook.example",
                         "Account actions for carol.broken@example.org", "Check mail access",
                         "Report missed result", "Install extension"}));
}

// Continue needs a valid address, a configured provider and no running connection. Return in the
// address field asks only whether the address is valid, and the dialog does not press Continue a
// second time.
TEST(AccountScreensTest, ContinueAndReturnInTheAddressField) {
    qtTestApplication();
    const struct {
        const char* name;
        const char* email;
        bool chooseMicrosoft;
        bool connecting;
        bool enabled;
        const char* notice;  // empty: none shown
        bool returnAttempts;
    } cases[] = {
        {"address", "ann@example.com", false, false, true, "", true},
        {"spaces and a line break around it", "  ann@example.com \n", false, false, true, "", true},
        {"empty", "", false, false, false, "", false},
        {"provider not configured", "ann@example.com", true, false, false,
         "The Microsoft OAuth client is not configured in this test build.", true},
        {"connection running", "ann@example.com", false, true, false, "", false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        AccountScreensFixture state(
            {}, [] { return std::string(); }, withoutMicrosoft);
        AddAccountView sheet(state.viewModel);
        sheet.show();
        if (row.chooseMicrosoft) {
            named<QPushButton>(sheet, "providerMicrosoft")->click();
        }
        auto* email = named<QLineEdit>(sheet, "email");
        email->setText(QString::fromUtf8(row.email));
        if (row.connecting) {
            state.authenticator->gate.close();
            state.viewModel.connect(MailProvider::google, QString());
        }
        const auto* button = named<QPushButton>(sheet, "continue");
        EXPECT_EQ(button->isEnabled(), row.enabled);
        EXPECT_EQ(button->text(), row.connecting ? "Connecting…" : "Continue");
        const auto* notice = named<QLabel>(sheet, "notConfigured");
        EXPECT_EQ(notice->isVisibleTo(&sheet), *row.notice != '\0');
        if (*row.notice != '\0') {
            EXPECT_EQ(notice->text(), row.notice);
        }
        if (row.connecting) {
            continue;
        }
        email->setFocus();
        QTest::keyClick(email, Qt::Key_Return);
        // The connection either reached the browser sign-in or was refused with a message.
        const auto attempted = [&] {
            return state.authenticator->calls() > 0 || state.viewModel.errorMessage().has_value();
        };
        if (row.returnAttempts) {
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return !state.viewModel.isConnecting() && attempted(); }));
        }
        EXPECT_EQ(attempted(), row.returnAttempts);
        EXPECT_LE(state.authenticator->calls(), 1);
    }
}

// A failed connection shows its message in the sheet and in the window's alert; the alert clears
// it once dismissed (here with Escape), and the sheet stays open.
TEST(AccountScreensTest, FailedConnectionAlertClearsTheMessage) {
    qtTestApplication();
    AccountScreensFixture state(
        {}, []() -> std::string { throw loftwing::LoftwingMultiError::authenticationFailed(); });
    AccountManagerView view(state.viewModel);
    view.show();
    named<QPushButton>(view, "addAccount")->click();
    auto* sheet = view.findChild<AddAccountView*>();
    ASSERT_NE(sheet, nullptr);
    named<QLineEdit>(*sheet, "email")->setText(QStringLiteral("ann@example.com"));
    named<QPushButton>(*sheet, "continue")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.viewModel.errorMessage().has_value(); }));

    const QString message = *state.viewModel.errorMessage();
    const auto* error = named<QLabel>(*sheet, "connectionError");
    EXPECT_TRUE(error->isVisible());
    EXPECT_EQ(error->text(), message);
    EXPECT_EQ(error->accessibleName(), "Account connection error: " + message);
    auto* alert = view.findChild<QMessageBox*>();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->windowTitle(), "Zevirudi");
    EXPECT_EQ(alert->text(), "Zevirudi");
    EXPECT_EQ(alert->informativeText(), message);
    EXPECT_EQ(alert->buttons().size(), 1);

    QTest::keyClick(alert, Qt::Key_Escape);
    EXPECT_FALSE(state.viewModel.errorMessage().has_value());
    EXPECT_FALSE(error->isVisible());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_TRUE(state.viewModel.presentedSheet().has_value());

    // The next failure, before the dismissed alert is gone, gets an alert of its own.
    named<QPushButton>(*sheet, "continue")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return state.viewModel.errorMessage().has_value(); }));
    const auto alerts = view.findChildren<QMessageBox*>();
    EXPECT_EQ(std::count_if(alerts.begin(), alerts.end(),
                            [](const QMessageBox* shown) { return shown->isVisible(); }),
              1);
}

// What the sheet does with its fields is MissedResultReportViewTest's; here: what the manager
// hands it.
TEST(AccountScreensTest, ReportSheetFromTheManagerKnowsTheAccountsAndChrome) {
    qtTestApplication();
    AccountScreensFixture state(threeAccounts());
    AccountManagerView view(state.viewModel);
    view.show();
    waitFor(state.viewModel.prepare());
    named<QPushButton>(view, "reportMissedResult")->click();
    auto* report = view.reportSheet();
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(report->isVisible());
    EXPECT_EQ(report->mailboxPicker()->count(), 4) << "all inboxes, and the three accounts";
    EXPECT_NE(report->reportText().find("Connected inboxes: 3"), std::string::npos);
    EXPECT_NE(report->reportText().find("Chrome connection: Installed"), std::string::npos);
}

// Without any icon theme, every picture comes from the bundled drawings, in the colour asked for.
TEST(AccountScreensTest, EveryGlyphDrawsWithoutAnIconTheme) {
    qtTestApplication();
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    for (const auto glyph :
         {Glyph::plus, Glyph::envelope, Glyph::envelopeBadgeOutline, Glyph::envelopeBadge,
          Glyph::checkmarkCircleFill, Glyph::warningTriangle, Glyph::warningTriangleFill,
          Glyph::ellipsisCircle, Glyph::wrenchAndScrewdriver, Glyph::trash}) {
        SCOPED_TRACE(static_cast<int>(glyph));
        const QImage image = glyphPixmap(glyph, Qt::red, 24).toImage();
        int drawn = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor pixel = image.pixelColor(x, y);
                drawn += pixel.alpha() == 255 && pixel.red() == 255 && pixel.green() == 0 ? 1 : 0;
            }
        }
        EXPECT_GT(drawn, 20);
    }
}

}  // namespace
}  // namespace zevirudi
