#pragma once

// The onboarding over the real view model, with fakes only at its seams: the account store, the
// browser sign-in, the mail transport, the Chrome opener and the sound output.

#include "helpers/AccountScreensFixture.h"
#include "helpers/QtTestApplication.h"
#include "ui/AccountManagerViewModel.h"
#include "ui/OnboardingView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>

namespace loftwing::test {

class RecordingSoundPlayer : public zevirudi::ArrivalSoundPlayer {
  public:
    void play(zevirudi::ArrivalSound sound) override { played.push_back(sound); }
    std::vector<zevirudi::ArrivalSound> played;
};

// Preferences in a folder of the test's own, emptied for every fixture.
inline void useFreshSettings() {
    static QTemporaryDir folder;
    static const bool ready = [] {
        QCoreApplication::setOrganizationName(QStringLiteral("com.loftwing.multi"));
        QCoreApplication::setApplicationName(QStringLiteral("Zevirudi"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
        return true;
    }();
    (void)ready;
    QSettings().clear();
}

enum class ConfigurationKind { missing, unpacked, webStore };

struct OnboardingFixture : AccountScreensFixture {
    explicit OnboardingFixture(
        std::vector<StoredAccount> accounts = {},
        ConfigurationKind kind = ConfigurationKind::unpacked,
        std::function<std::string()> signIn = [] { return std::string(); })
        : AccountScreensFixture(std::move(accounts), std::move(signIn),
                                [this, kind](auto& services) { change(this, kind, services); }),
          player(std::make_shared<RecordingSoundPlayer>()) {
        useFreshSettings();
        waitFor(viewModel.prepare());
        view = std::make_unique<zevirudi::OnboardingView>(
            viewModel, [this] { completions += 1; },
            zevirudi::OnboardingEnvironment{player, /*reduceMotion=*/true});
    }

    // Runs while the base is built: `self` is only kept for later, never read here.
    static void change(OnboardingFixture* self, ConfigurationKind kind,
                       zevirudi::AccountManagerServices& services) {
        if (kind == ConfigurationKind::missing) {
            throw std::runtime_error("no configuration");
        }
        if (kind == ConfigurationKind::webStore) {
            services.configuration.extensionInstallURL =
                "https://chromewebstore.google.com/detail/zevirudi/" +
                services.configuration.extensionID;
        }
        // Mail requests fail as for a revoked grant until the test allows them.
        services.transport =
            std::make_shared<ScriptedHTTPTransport>([self](const HTTPRequest&, std::stop_token) {
                return self->mailAllowed
                           ? jsonResponse(200, R"({"value":[],"resultSizeEstimate":0})")
                           : jsonResponse(401, R"({"error":"invalid_token"})");
            });
        services.openSetupPage = [self](const LoftwingAppConfiguration&,
                                        const std::optional<std::filesystem::path>&) {
            if (!self->chromeOpens) {
                throw std::runtime_error("no browser");
            }
        };
    }

    // Keys and clicks as letters: R Return, E Escape, C the Chrome confirmation toggle.
    void perform(const std::string& actions) {
        for (const char action : actions) {
            if (action == 'C') {
                find<QCheckBox>("chromeConfirmation")->click();
            } else {
                QTest::keyClick(view.get(), action == 'R' ? Qt::Key_Return : Qt::Key_Escape);
            }
        }
    }

    template <typename T = QAbstractButton>
    T* find(const char* name) const {
        return view->findChild<T*>(QString::fromUtf8(name));
    }

    // Whether a label showing exactly `text` is on the current page and not hidden.
    bool shows(const QString& text) const {
        for (const QLabel* label : view->findChildren<QLabel*>()) {
            if (label->text() == text && label->isVisibleTo(view.get())) {
                return true;
            }
        }
        return false;
    }

    std::atomic<bool> mailAllowed = true;
    std::atomic<bool> chromeOpens = true;
    std::shared_ptr<RecordingSoundPlayer> player;
    int completions = 0;
    std::unique_ptr<zevirudi::OnboardingView> view;
};

}  // namespace loftwing::test
