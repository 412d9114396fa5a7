#include "ui/OnboardingView.h"

#include "OnboardingFixture.h"
#include "bundle/AppBundle.h"
#include "helpers/CapturingLogSink.h"
#include "ui/ArrivalSoundEffectPlayer.h"
#include "ui/IntroCodeDemo.h"
#include "ui/OnboardingRehearsal.h"

#include <QAudioDevice>
#include <QFile>
#include <QLineEdit>
#include <QMediaDevices>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

using loftwing::MailProvider;
using namespace loftwing::test;

TEST(OnboardingViewTest, StepNavigationAndEnablement) {
    qtTestApplication();
    const struct {
        const char* name;
        std::string actions;
        OnboardingStep step;
        const char* progress;
        bool back;
        bool continueShown;
        bool continueEnabled;
        bool finish;
        int completions;
    } cases[] = {
        {"Escape on the first step stays", "E", OnboardingStep::introduction, "SETUP · 1 OF 6",
         false, true, true, false, 0},
        {"Return continues to Chrome, which waits for its confirmation", "R",
         OnboardingStep::chrome, "SETUP · 2 OF 6", true, true, false, false, 0},
        {"Return without the confirmation stays", "RR", OnboardingStep::chrome, "SETUP · 2 OF 6",
         true, true, false, false, 0},
        {"the confirmation enables Continue", "RC", OnboardingStep::chrome, "SETUP · 2 OF 6", true,
         true, true, false, 0},
        {"confirmed: on to the permission", "RCR", OnboardingStep::permission, "SETUP · 3 OF 6",
         true, true, true, false, 0},
        {"connect with a ready check may continue", "RCRR", OnboardingStep::connect,
         "SETUP · 4 OF 6", true, true, true, false, 0},
        {"the rehearsal ends with Finish", "RCRRRR", OnboardingStep::rehearsal, "SETUP · 6 OF 6",
         true, false, true, true, 0},
        {"Return finishes once", "RCRRRRR", OnboardingStep::rehearsal, "SETUP · 6 OF 6", true,
         false, true, true, 1},
        {"Back from the rehearsal keeps the confirmation", "RCRRRREEEE", OnboardingStep::chrome,
         "SETUP · 2 OF 6", true, true, true, false, 0},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        OnboardingFixture fixture(
            {storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear())});
        fixture.perform(row.actions);

        EXPECT_EQ(fixture.view->step(), row.step);
        EXPECT_TRUE(fixture.shows(QString::fromUtf8(row.progress)));
        EXPECT_EQ(!fixture.find("back")->isHidden(), row.back);
        EXPECT_EQ(!fixture.find("continue")->isHidden(), row.continueShown);
        EXPECT_EQ(fixture.find("continue")->isEnabled(), row.continueEnabled);
        EXPECT_EQ(!fixture.find("finish")->isHidden(), row.finish);
        EXPECT_EQ(fixture.completions, row.completions);
    }
}

TEST(OnboardingViewTest, ConnectStepShowsContinueOnlyOnceACheckIsReady) {
    qtTestApplication();
    OnboardingFixture fixture(
        {storedAccount("google:1", MailProvider::google, "ann@example.com", nextYear()),
         storedAccount("microsoft:2", MailProvider::microsoft, "bo@example.com", nextYear())});
    fixture.mailAllowed = false;
    waitFor(fixture.viewModel.checkAccounts());
    ASSERT_EQ(fixture.viewModel.accountChecks().size(), 2u);
    for (const auto& check : fixture.viewModel.accountChecks()) {
        ASSERT_EQ(check.status, loftwing::AccountCheck::Status::reconnectRequired);
    }
    fixture.perform("RCRR");
    ASSERT_EQ(fixture.view->step(), OnboardingStep::connect);

    EXPECT_TRUE(fixture.find("continue")->isHidden());
    QTest::keyClick(fixture.view.get(), Qt::Key_Return);
    EXPECT_EQ(fixture.view->step(), OnboardingStep::connect)
        << "Return does nothing without Continue";
    EXPECT_TRUE(fixture.shows(QStringLiteral("Connect the inbox that receives your codes.")));
    EXPECT_TRUE(fixture.shows(QStringLiteral("ann@example.com")));
    EXPECT_TRUE(fixture.shows(QStringLiteral("Gmail")));
    EXPECT_TRUE(fixture.shows(QStringLiteral("Mail access needs a check.")));
    ASSERT_NE(fixture.find("connectAgain"), nullptr);

    fixture.mailAllowed = true;
    fixture.find("checkAgain")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fixture.find("continue")->isHidden(); }));
    EXPECT_TRUE(fixture.shows(QStringLiteral("Your inbox is ready.")));
    EXPECT_FALSE(fixture.shows(QStringLiteral("Mail access needs a check.")));
    EXPECT_EQ(fixture.find("checkAgain"), nullptr) << "no hint once a check is ready";
    QTest::keyClick(fixture.view.get(), Qt::Key_Return);
    EXPECT_EQ(fixture.view->step(), OnboardingStep::sound);
}

TEST(OnboardingViewTest, ConnectButtonsWaitForConsentThenShowTheFailure) {
    qtTestApplication();
    OnboardingFixture fixture({}, ConfigurationKind::unpacked, []() -> std::string {
        throw loftwing::LoftwingMultiError::authenticationFailed();
    });
    fixture.perform("RCRR");
    fixture.authenticator->gate.close();
    fixture.find("continueWithOutlook")->click();

    EXPECT_EQ(fixture.find("continueWithGmail")->accessibleName(),
              QStringLiteral("Waiting for consent…"));
    EXPECT_TRUE(fixture.shows(QStringLiteral("Waiting for consent…")));
    EXPECT_FALSE(fixture.find("continueWithGmail")->isEnabled());
    fixture.authenticator->gate.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fixture.find<QLabel>("connectError") != nullptr; }));

    EXPECT_EQ(fixture.authenticator->calls(), 1);
    EXPECT_TRUE(fixture.shows(*fixture.viewModel.errorMessage()));
    EXPECT_TRUE(fixture.shows(QStringLiteral("Continue with Gmail")));
    EXPECT_TRUE(fixture.find("continueWithOutlook")->isEnabled());
    EXPECT_TRUE(fixture.find("continue")->isHidden());
}

TEST(OnboardingViewTest, ChromeStepFollowsTheConfigurationAndTheSetupResult) {
    qtTestApplication();
    const QString testBuild = QStringLiteral(
        "This test build uses Chrome’s Load unpacked option. Open "
        "Chrome setup to show the extension folder in the file manager.");
    const QString webStore = QStringLiteral("Select Add to Chrome, then Add extension.");
    const struct {
        const char* name;
        ConfigurationKind kind;
        bool chromeOpens;
        QString instruction;
        bool opened;
    } cases[] = {
        {"no configuration: the test-build instructions", ConfigurationKind::missing, true,
         testBuild, false},
        {"an unpacked extension: the test-build instructions", ConfigurationKind::unpacked, true,
         testBuild, true},
        {"the Chrome Web Store", ConfigurationKind::webStore, true, webStore, true},
        {"Chrome cannot be opened", ConfigurationKind::webStore, false, webStore, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        OnboardingFixture fixture({}, row.kind);
        fixture.chromeOpens = row.chromeOpens;
        fixture.perform("R");
        EXPECT_TRUE(fixture.shows(row.instruction));
        EXPECT_EQ(fixture.shows(QStringLiteral(
                      "Select the DuraredeVodozAzerideve folder shown in the file manager.")),
                  row.instruction == testBuild);
        EXPECT_FALSE(fixture.shows(QStringLiteral("Chrome setup opened")));

        auto* open = fixture.find("openChromeSetup");
        EXPECT_EQ(open->text(), QStringLiteral("Open Chrome setup"));
        open->click();
        // Done when either outcome is on screen (without a configuration the message is there
        // from the start, but shown only once the attempt failed).
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const auto& message = fixture.viewModel.errorMessage();
            return fixture.shows(QStringLiteral("Chrome setup opened")) ||
                   (message && fixture.shows(*message));
        }));
        EXPECT_EQ(fixture.shows(QStringLiteral("Chrome setup opened")), row.opened);
        EXPECT_EQ(open->text(), row.opened ? QStringLiteral("Open Chrome setup again")
                                           : QStringLiteral("Open Chrome setup"));
        if (!row.opened) {
            EXPECT_TRUE(fixture.shows(*fixture.viewModel.errorMessage()))
                << "the failure is not silent";
        }
    }
}

TEST(OnboardingViewTest, TheStoredSoundIsWhatPlays) {
    qtTestApplication();
    const struct {
        const char* name;
        std::optional<QString> stored;
        std::optional<QString> chosenRow;
        std::vector<ArrivalSound> played;
    } cases[] = {
        {"nothing stored: soft", std::nullopt, std::nullopt, {ArrivalSound::soft}},
        {"glass stored", QStringLiteral("glass"), std::nullopt, {ArrivalSound::glass}},
        {"an unknown text plays nothing", QStringLiteral("loud"), std::nullopt, {}},
        {"choosing a row plays it at once and stores it",
         QStringLiteral("loud"),
         QStringLiteral("clear"),
         {ArrivalSound::clear, ArrivalSound::clear}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        OnboardingFixture fixture;
        if (row.stored) {
            QSettings().setValue(QLatin1String(arrivalSoundKey), *row.stored);
        }
        fixture.perform("RCRRR");
        if (row.chosenRow) {
            fixture.view->findChild<QPushButton*>(QStringLiteral("sound-") + *row.chosenRow)
                ->click();
            EXPECT_EQ(QSettings().value(QLatin1String(arrivalSoundKey)).toString(), *row.chosenRow);
        }
        fixture.perform("R");
        auto* rehearsal = fixture.view->findChild<OnboardingRehearsal*>();
        QSignalSpy ran(rehearsal, &OnboardingRehearsal::didRunChanged);
        fixture.find("trySampleCode")->click();
        ASSERT_TRUE(ran.wait(5'000));

        EXPECT_EQ(fixture.player->played, row.played);
    }
}

TEST(OnboardingViewTest, EveryCompletedRehearsalRunPlaysOnce) {
    qtTestApplication();
    int plays = 0;
    OnboardingRehearsal rehearsal(false, [&plays] { plays += 1; });
    auto* button = rehearsal.findChild<QPushButton*>(QStringLiteral("trySampleCode"));
    auto* field = rehearsal.findChild<QLineEdit*>(QStringLiteral("sampleCodeField"));
    EXPECT_EQ(button->text(), QStringLiteral("Try sample code"));

    button->click();
    EXPECT_TRUE(rehearsal.isWaiting());
    button->click();
    EXPECT_EQ(plays, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return plays == 2; }));
    EXPECT_FALSE(rehearsal.isWaiting());
    EXPECT_TRUE(rehearsal.didRun());
    EXPECT_EQ(field->text(), QStringLiteral("482913"));
    EXPECT_EQ(button->text(), QStringLiteral("Run it again"));

    button->click();
    EXPECT_FALSE(rehearsal.didRun()) << "a new run starts from an empty field";
    EXPECT_EQ(field->text(), QString());
    ASSERT_TRUE(QTest::qWaitFor([&] { return plays == 3; }));
    EXPECT_EQ(field->text(), QStringLiteral("482913"));
}

TEST(OnboardingViewTest, IntroCodeDemoWaitsUnlessMotionIsReduced) {
    qtTestApplication();
    IntroCodeDemo still(/*reduceMotion=*/true);
    still.show();
    EXPECT_TRUE(still.codeIsVisible()) << "shown at once";

    IntroCodeDemo moving(/*reduceMotion=*/false);
    QElapsedTimer shown;
    shown.start();
    moving.show();
    EXPECT_FALSE(moving.codeIsVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return moving.codeIsVisible(); }));
    EXPECT_GE(shown.elapsed(), IntroCodeDemo::delayMilliseconds);
}

TEST(OnboardingViewTest, BuiltSoundsAreShortDistinctWavesAndSilenceIsNoError) {
    qtTestApplication();
    QByteArray previous;
    for (const ArrivalSound sound : allArrivalSounds) {
        SCOPED_TRACE(rawValue(sound).toStdString());
        QFile file(QString::fromStdString(
            (resourceDirectory() / "sounds" / (rawValue(sound).toStdString() + ".wav")).string()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray wave = file.readAll();
        ASSERT_GT(wave.size(), 44);
        EXPECT_TRUE(wave.startsWith("RIFF") && wave.mid(8, 8) == "WAVEfmt ");
        const double seconds = static_cast<double>(wave.size() - 44) / (44'100.0 * 2);
        EXPECT_GT(seconds, 0.1);
        EXPECT_LT(seconds, 1.0) << "an arrival sound is short";
        EXPECT_NE(wave, previous);
        previous = wave;
    }

    if (!QMediaDevices::defaultAudioOutput().isNull()) {
        GTEST_SKIP() << "this machine has an audio output";
    }
    const auto log = CapturingLogSink::install();
    ArrivalSoundEffectPlayer player(resourceDirectory() / "sounds");
    player.play(ArrivalSound::glass);
    player.play(ArrivalSound::soft);
    EXPECT_EQ(log->lines(),
              std::vector<std::string>{"sounds: arrival sound not played: no audio output device"});
}

}  // namespace
}  // namespace zevirudi
