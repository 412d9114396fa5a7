#pragma once

#include "records/MailProvider.h"
#include "ui/ArrivalSound.h"
#include "ui/OnboardingStep.h"

#include <QSettings>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace zevirudi {

class AccountManagerViewModel;

// What the onboarding takes from the desktop: where sounds play and whether to keep still.
struct OnboardingEnvironment {
    std::shared_ptr<ArrivalSoundPlayer> player;
    bool reduceMotion = false;

    // The installed sounds on the default audio output, and the desktop's motion setting.
    static OnboardingEnvironment desktop();
};

// The first-run flow: what the application does, adding the extension to Chrome, why mail
// access is needed, connecting the first inbox, the arrival sound and a rehearsal on a local
// sample. `completion` runs when the person finishes; everything else it does goes through the
// view model. Escape goes back a step, Return continues.
class OnboardingView : public QWidget {
    Q_OBJECT
  public:
    OnboardingView(AccountManagerViewModel& viewModel, std::function<void()> completion,
                   QWidget* parent = nullptr);
    OnboardingView(AccountManagerViewModel& viewModel, std::function<void()> completion,
                   OnboardingEnvironment environment, QWidget* parent = nullptr);

    OnboardingStep step() const { return step_; }

  signals:
    void stepChanged();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QWidget* introductionPage();
    QWidget* chromePage();
    QWidget* permissionPage();
    QWidget* connectPage();
    QWidget* soundPage();
    QWidget* rehearsalPage();
    QWidget* connectContent();

    void setStep(OnboardingStep step);
    void openChromeSetup();
    void startConnection(loftwing::MailProvider provider, const QString& email);
    void chooseSound(ArrivalSound sound);
    bool hasReadyCheck() const;
    // Brings every control in line with the state; called after each change.
    void refresh();
    void refreshConnect();

    AccountManagerViewModel& viewModel_;
    std::function<void()> completion_;
    OnboardingEnvironment environment_;
    OnboardingStep step_ = OnboardingStep::introduction;
    bool permissionDetailIsVisible_ = false;
    bool chromeSetupDidOpen_ = false;
    bool chromeSetupIsConfirmed_ = false;
    bool isConnecting_ = false;
    bool rehearsalDidRun_ = false;
    // Holds "arrival-sound-v1" among the application's preferences.
    QSettings settings_;
    // Whether the last press of "Open Chrome setup" failed; its reason is the view model's message.
    bool chromeSetupFailed_ = false;

    QLabel* progress_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    QPushButton* back_ = nullptr;
    QPushButton* continue_ = nullptr;
    QPushButton* finish_ = nullptr;
    QPushButton* chromeSetupButton_ = nullptr;
    QWidget* chromeSetupStatus_ = nullptr;
    QLabel* chromeSetupError_ = nullptr;
    QCheckBox* chromeConfirmation_ = nullptr;
    QToolButton* permissionDisclosure_ = nullptr;
    QWidget* permissionDetail_ = nullptr;
    QLabel* connectTitle_ = nullptr;
    QVBoxLayout* connectSlot_ = nullptr;
    QWidget* connectContent_ = nullptr;
    std::array<QPushButton*, allArrivalSounds.size()> soundRows_{};
    std::array<QLabel*, allArrivalSounds.size()> soundMarks_{};
};

}  // namespace zevirudi
