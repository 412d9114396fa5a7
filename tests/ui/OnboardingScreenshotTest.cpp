// Every onboarding step rendered on a private X server, light and dark, saved under
// build/screenshots/ for a person to look at; each step must fit the window without clipping.

#include "OnboardingFixture.h"
#include "helpers/XvfbServer.h"
#include "ui/DesktopColourScheme.h"

#include <QApplication>
#include <QCheckBox>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

using loftwing::MailProvider;
using namespace loftwing::test;

struct Shot {
    const char* name;
    std::vector<loftwing::StoredAccount> accounts;
    bool mailAllowed;
    std::string keys;  // as OnboardingFixture::perform takes them
    std::function<void(OnboardingFixture&)> prepare;
};

void save(OnboardingFixture& fixture, const QString& name) {
    auto& view = *fixture.view;
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QTest::qWait(50);  // the last layout pass and paint after the final state change
    auto* pages = view.findChild<QStackedWidget*>();
    const QSize needed = pages->currentWidget()->minimumSizeHint();
    EXPECT_LE(needed.height(), pages->height()) << "the step is clipped";
    EXPECT_LE(needed.width(), pages->width()) << "the step is clipped";
    const QImage image = view.grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_TRUE(image.save(screenshotPath(name)));
}

TEST(OnboardingScreenshotTest, EveryStepLightAndDark) {
    const auto ready = [] {
        return std::vector{
            storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear())};
    };
    const Shot shots[] = {
        {"1-introduction", {}, true, "", nullptr},
        {"2-chrome",
         {},
         true,
         "R",
         [](OnboardingFixture& fixture) {
             fixture.find("openChromeSetup")->click();
             EXPECT_TRUE(QTest::qWaitFor(
                 [&] { return fixture.shows(QStringLiteral("Chrome setup opened")); }));
             fixture.find<QCheckBox>("chromeConfirmation")->setChecked(true);
         }},
        {"3-permission",
         {},
         true,
         "RCR",
         [](OnboardingFixture& fixture) {
             fixture.find<QToolButton>("removeAccessDisclosure")->click();
         }},
        {"4-connect", {}, true, "RCRR", nullptr},
        {"4-connect-needs-check", ready(), false, "RCRR", nullptr},
        {"5-sound", ready(), true, "RCRRR",
         [](OnboardingFixture& fixture) { fixture.find("sound-glass")->click(); }},
        {"6-rehearsal", ready(), true, "RCRRRR",
         [](OnboardingFixture& fixture) {
             fixture.find("trySampleCode")->click();
             QTest::qWait(900);
         }},
    };
    const QPalette light = QApplication::palette();
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkDesktopPalette() : light);
        for (const auto& shot : shots) {
            SCOPED_TRACE(shot.name);
            OnboardingFixture fixture(shot.accounts);
            if (!shot.mailAllowed) {
                fixture.mailAllowed = false;
                waitFor(fixture.viewModel.checkAccounts());
            }
            fixture.perform(shot.keys);
            if (shot.prepare) {
                shot.prepare(fixture);
            }
            save(fixture, QStringLiteral("onboarding-%1%2")
                              .arg(QString::fromUtf8(shot.name),
                                   dark ? QStringLiteral("-dark") : QString()));
        }
    }
}

}  // namespace
}  // namespace zevirudi

int main(int argc, char** argv) {
    return loftwing::test::screenshotTestMain(argc, argv);
}
