#include "ui/OnboardingView.h"

#include "ui/AccountManagerViewModel.h"
#include "ui/ArrivalSoundEffectPlayer.h"
#include "ui/Glyphs.h"
#include "ui/IntroCodeDemo.h"
#include "ui/OnboardingLook.h"
#include "ui/OnboardingRehearsal.h"
#include "ui/ReducedMotion.h"

#include "bundle/AppBundle.h"
#include "support/LogSink.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace zevirudi {
namespace {

using loftwing::AccountCheck;
using loftwing::MailProvider;

constexpr QSize viewSize(570, 560);
}  // namespace

OnboardingEnvironment OnboardingEnvironment::desktop() {
    std::filesystem::path sounds;
    try {
        sounds = resourceDirectory() / "sounds";
    } catch (const std::filesystem::filesystem_error&) {
        loftwing::logMessage(loftwing::LogLevel::warning, "sounds",
                             "resource folder not found; arrival sounds stay silent");
    }
    return {std::make_shared<ArrivalSoundEffectPlayer>(sounds), desktopPrefersReducedMotion()};
}

OnboardingView::OnboardingView(AccountManagerViewModel& viewModel, std::function<void()> completion,
                               QWidget* parent)
    : OnboardingView(viewModel, std::move(completion), OnboardingEnvironment::desktop(), parent) {}

OnboardingView::OnboardingView(AccountManagerViewModel& viewModel, std::function<void()> completion,
                               OnboardingEnvironment environment, QWidget* parent)
    : QWidget(parent),
      viewModel_(viewModel),
      completion_(std::move(completion)),
      environment_(std::move(environment)) {
    setFixedSize(viewSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(onboardingPageMargin - 8, 20, onboardingPageMargin, 12);
    header->setSpacing(10);
    auto* tile = new QLabel;
    tile->setPixmap(brandTile(28, devicePixelRatioF()));
    header->addWidget(tile);
    header->addWidget(textLabel(QStringLiteral("Zevirudi"), 1.15, QFont::Bold), 1);
    progress_ = secondaryLabel(QString(), 0.85);
    QFont spaced = progress_->font();
    spaced.setWeight(QFont::DemiBold);
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    progress_->setFont(spaced);
    progress_->setWordWrap(false);
    header->addWidget(progress_);
    layout->addLayout(header);

    pages_ = new QStackedWidget;
    pages_->addWidget(introductionPage());
    pages_->addWidget(chromePage());
    pages_->addWidget(permissionPage());
    pages_->addWidget(connectPage());
    pages_->addWidget(soundPage());
    pages_->addWidget(rehearsalPage());
    layout->addWidget(pages_, 1);

    auto* rule = new QFrame;
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(onboardingPageMargin - 8, 12, onboardingPageMargin - 8, 14);
    back_ = new QPushButton(QStringLiteral("Back"));
    back_->setObjectName(QStringLiteral("back"));
    back_->setToolTip(QStringLiteral("Esc"));
    roomy(back_);
    back_->setMinimumWidth(std::max(back_->minimumWidth(), 96));
    QObject::connect(back_, &QPushButton::clicked, this, [this] { setStep(previousStep(step_)); });
    bar->addWidget(back_);
    bar->addStretch(1);
    continue_ = new QPushButton(QStringLiteral("Continue"));
    continue_->setObjectName(QStringLiteral("continue"));
    makeProminent(continue_);
    QObject::connect(continue_, &QPushButton::clicked, this, [this] { setStep(nextStep(step_)); });
    bar->addWidget(continue_);
    finish_ = new QPushButton(QStringLiteral("Finish setup"));
    finish_->setObjectName(QStringLiteral("finish"));
    makeProminent(finish_);
    QObject::connect(finish_, &QPushButton::clicked, this, [this] { completion_(); });
    bar->addWidget(finish_);
    layout->addLayout(bar);

    for (const auto signal :
         {&AccountManagerViewModel::accountsChanged, &AccountManagerViewModel::accountChecksChanged,
          &AccountManagerViewModel::errorMessageChanged,
          &AccountManagerViewModel::isCheckingAccountsChanged,
          &AccountManagerViewModel::isConnectingChanged}) {
        QObject::connect(&viewModel_, signal, this, &OnboardingView::refreshConnect);
    }
    refreshConnect();
    refresh();
}

void OnboardingView::setStep(OnboardingStep step) {
    if (step == step_) {
        return;
    }
    step_ = step;
    refresh();
    // Keyboard focus follows the step: its main action when it can be taken, else the step's
    // first control.
    QPushButton* primary = step_ == OnboardingStep::rehearsal ? finish_ : continue_;
    if (!primary->isHidden() && primary->isEnabled()) {
        primary->setFocus();
    } else {
        for (QAbstractButton* control : pages_->currentWidget()->findChildren<QAbstractButton*>()) {
            if (!control->isHidden() && control->isEnabled()) {
                control->setFocus();
                break;
            }
        }
    }
    emit stepChanged();
}

void OnboardingView::openChromeSetup() {
    viewModel_.openChromeSetup().then(this, [this](bool opened) {
        chromeSetupDidOpen_ = opened;
        chromeSetupFailed_ = !opened;
        refresh();
    });
}

void OnboardingView::startConnection(MailProvider provider, const QString& email) {
    isConnecting_ = true;
    refreshConnect();
    viewModel_.connect(provider, email).then(this, [this](bool) {
        isConnecting_ = false;
        refreshConnect();
    });
}

void OnboardingView::chooseSound(ArrivalSound sound) {
    settings_.setValue(QLatin1String(arrivalSoundKey), rawValue(sound));
    environment_.player->play(sound);
    refresh();
}

bool OnboardingView::hasReadyCheck() const {
    const auto& checks = viewModel_.accountChecks();
    return std::any_of(checks.begin(), checks.end(), [](const AccountCheck& check) {
        return check.status == AccountCheck::Status::ready;
    });
}

void OnboardingView::refreshConnect() {
    connectTitle_->setText(hasReadyCheck()
                               ? QStringLiteral("Your inbox is ready.")
                               : QStringLiteral("Connect the inbox that receives your codes."));
    connectTitle_->setAccessibleName(connectTitle_->text());
    if (connectContent_ != nullptr) {
        // Out of the tree at once, deleted later: the click that led here may still be running
        // inside it.
        connectSlot_->removeWidget(connectContent_);
        connectContent_->hide();
        connectContent_->setParent(nullptr);
        connectContent_->deleteLater();
    }
    connectContent_ = connectContent();
    connectSlot_->addWidget(connectContent_);
    refresh();
}

void OnboardingView::refresh() {
    pages_->setCurrentIndex(static_cast<int>(step_));
    progress_->setText(progressText(step_));

    back_->setVisible(step_ != OnboardingStep::introduction);
    continue_->setVisible(step_ != OnboardingStep::rehearsal &&
                          (step_ != OnboardingStep::connect || hasReadyCheck()));
    continue_->setEnabled(step_ != OnboardingStep::chrome || chromeSetupIsConfirmed_);
    continue_->setDefault(continue_->isVisible());
    finish_->setVisible(step_ == OnboardingStep::rehearsal);
    finish_->setDefault(finish_->isVisible());

    chromeSetupButton_->setText(chromeSetupDidOpen_ ? QStringLiteral("Open Chrome setup again")
                                                    : QStringLiteral("Open Chrome setup"));
    chromeSetupStatus_->setVisible(chromeSetupDidOpen_);
    const auto& message = viewModel_.errorMessage();
    chromeSetupError_->setText(message.value_or(QString()));
    chromeSetupError_->setVisible(chromeSetupFailed_ && message.has_value());
    chromeConfirmation_->setChecked(chromeSetupIsConfirmed_);

    permissionDisclosure_->setArrowType(permissionDetailIsVisible_ ? Qt::DownArrow
                                                                   : Qt::RightArrow);
    permissionDetail_->setVisible(permissionDetailIsVisible_);

    const QString stored = storedArrivalSoundText(settings_);
    for (std::size_t index = 0; index < allArrivalSounds.size(); ++index) {
        const ArrivalSound sound = allArrivalSounds[index];
        const bool selected = rawValue(sound) == stored;
        soundMarks_[index]->setPixmap(selectionMark(selected, this, 20, devicePixelRatioF()));
        soundRows_[index]->setAccessibleName(label(sound) + QStringLiteral(", ") +
                                             description(sound) +
                                             (selected ? QStringLiteral(", selected") : QString()));
    }
}

void OnboardingView::keyPressEvent(QKeyEvent* event) {
    QPushButton* target = nullptr;
    if (event->key() == Qt::Key_Escape) {
        target = back_;
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        target = step_ == OnboardingStep::rehearsal ? finish_ : continue_;
    }
    if (target == nullptr) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (!target->isHidden() && target->isEnabled()) {
        target->click();
    }
    event->accept();
}

}  // namespace zevirudi
