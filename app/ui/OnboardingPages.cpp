// The six steps' pages of the onboarding view; the frame, navigation and refresh are in
// OnboardingView.cpp.
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

// A step's frame: title and lead text over its own content.
QWidget* page(QLabel* title, QLabel* text = nullptr) {
    auto* widget = new QWidget;
    auto* layout = new QVBoxLayout(widget);
    layout->setContentsMargins(onboardingPageMargin, 8, onboardingPageMargin, 8);
    layout->setSpacing(12);
    layout->addWidget(title);
    if (text != nullptr) {
        layout->addWidget(text);
    }
    layout->addSpacing(6);
    return widget;
}

QLabel* title(const QString& text) {
    auto* label = textLabel(text, 1.6, QFont::Bold);
    label->setAccessibleName(text);
    return label;
}

QLabel* lead(const QString& text) {
    return secondaryLabel(text, 1.05);
}

QVBoxLayout* layoutOf(QWidget* widget) {
    return static_cast<QVBoxLayout*>(widget->layout());
}

// A symbol beside text, aligned at the first line.
QHBoxLayout* symbolLine(QLabel* symbol, QWidget* text) {
    auto* line = new QHBoxLayout;
    line->setSpacing(10);
    line->addWidget(symbol, 0, Qt::AlignTop);
    line->addWidget(text, 1);
    return line;
}

QWidget* numberedInstructions(const QStringList& lines) {
    auto* list = new QWidget;
    auto* layout = new QVBoxLayout(list);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    int number = 1;
    for (const QString& line : lines) {
        auto* badge = textLabel(QString::number(number++), 0.85, QFont::Bold);
        badge->setAlignment(Qt::AlignCenter);
        badge->setFixedSize(22, 22);
        badge->setStyleSheet(
            QStringLiteral("background-color: palette(highlight); "
                           "color: palette(highlighted-text); border-radius: 11px;"));
        layout->addLayout(symbolLine(badge, textLabel(line)));
    }
    return list;
}

// A push button whose face is a row: a symbol, the title and an optional trailing symbol.
QPushButton* rowButton(const QPixmap& symbol, const QString& text, QLabel** textLabelOut = nullptr,
                       QWidget* trailing = nullptr) {
    auto* button = new QPushButton;
    button->setMinimumHeight(44);
    button->setAccessibleName(text);
    auto* layout = new QHBoxLayout(button);
    layout->setContentsMargins(14, 6, 14, 6);
    layout->setSpacing(10);
    auto* icon = new QLabel;
    icon->setPixmap(symbol);
    layout->addWidget(icon);
    auto* caption = textLabel(text, 1.0, QFont::Medium);
    caption->setWordWrap(false);
    layout->addWidget(caption, 1);
    if (trailing != nullptr) {
        layout->addWidget(trailing);
    }
    for (QWidget* child : button->findChildren<QWidget*>()) {
        child->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    if (textLabelOut != nullptr) {
        *textLabelOut = caption;
    }
    return button;
}

QString providerLabel(MailProvider provider) {
    return provider == MailProvider::google ? QStringLiteral("Gmail")
                                            : QStringLiteral("Outlook or Hotmail");
}

QPixmap providerGlyph(MailProvider provider, int size, qreal devicePixelRatio) {
    return provider == MailProvider::google
               ? glyphPixmap(Glyph::envelope, QColor(0xd9, 0x30, 0x25), size, devicePixelRatio)
               : glyphPixmap(Glyph::envelopeBadge, QColor(0x1c, 0x71, 0xd8), size,
                             devicePixelRatio);
}

}  // namespace

QWidget* OnboardingView::introductionPage() {
    QWidget* widget = page(title(QStringLiteral("Stay in the sign-in form.")),
                           lead(QStringLiteral("Zevirudi puts an email code beside the field in "
                                               "Chrome. You choose when to fill it.")));
    auto* layout = layoutOf(widget);
    auto* note = textLabel(QStringLiteral("It never submits the form."), 1.0, QFont::Medium);
    layout->addLayout(symbolLine(symbolLabel(QStringLiteral("input-mouse"), QStyle::SP_ArrowForward,
                                             palette().color(QPalette::Highlight), 18),
                                 note));
    // The demo sits in the free space rather than under the text.
    layout->addStretch(1);
    layout->addWidget(new IntroCodeDemo(environment_.reduceMotion));
    layout->addStretch(2);
    return widget;
}

QWidget* OnboardingView::chromePage() {
    const auto* configuration = viewModel_.configuration();
    const bool webStore = configuration != nullptr && configuration->usesChromeWebStore();
    QWidget* widget = page(title(QStringLiteral("Add Zevirudi to Chrome.")));
    auto* layout = layoutOf(widget);
    if (webStore) {
        layout->addWidget(
            lead(QStringLiteral("Add the extension from the Chrome Web Store. It brings "
                                "codes and login links to the page where you need them.")));
        layout->addWidget(
            numberedInstructions({QStringLiteral("Open the Chrome Web Store page below."),
                                  QStringLiteral("Select Add to Chrome, then Add extension.")}));
    } else {
        auto* warning =
            textLabel(QStringLiteral("This test build uses Chrome’s Load unpacked option. "
                                     "Open Chrome setup to show the extension folder in "
                                     "the file manager."));
        warning->setObjectName(QStringLiteral("testBuildWarning"));
        layout->addLayout(
            symbolLine(symbolLabel(QStringLiteral("dialog-warning"), QStyle::SP_MessageBoxWarning,
                                   warningColor(this), 18, QStringLiteral("Warning")),
                       warning));
        layout->addWidget(numberedInstructions(
            {QStringLiteral("Turn on Developer mode in Chrome."),
             QStringLiteral("Select Load unpacked."),
             QStringLiteral(
                 "Select the DuraredeVodozAzerideve folder shown in the file manager.")}));
    }
    layout->addSpacing(6);

    auto* actions = new QHBoxLayout;
    actions->setSpacing(14);
    chromeSetupButton_ = new QPushButton;
    chromeSetupButton_->setObjectName(QStringLiteral("openChromeSetup"));
    roomy(chromeSetupButton_, QStringLiteral("Open Chrome setup again"));
    QObject::connect(chromeSetupButton_, &QPushButton::clicked, this,
                     &OnboardingView::openChromeSetup);
    actions->addWidget(chromeSetupButton_);
    chromeSetupStatus_ = new QWidget;
    auto* status = new QHBoxLayout(chromeSetupStatus_);
    status->setContentsMargins(0, 0, 0, 0);
    status->setSpacing(6);
    status->addWidget(symbolLabel(QStringLiteral("object-select"), QStyle::SP_DialogApplyButton,
                                  successColor(this), 16));
    auto* opened = textLabel(QStringLiteral("Chrome setup opened"), 1.0, QFont::Medium);
    opened->setWordWrap(false);
    status->addWidget(opened);
    actions->addWidget(chromeSetupStatus_);
    actions->addStretch(1);
    layout->addLayout(actions);
    chromeSetupError_ = textLabel(QString());
    QPalette red = chromeSetupError_->palette();
    red.setColor(QPalette::WindowText, errorColor(this));
    chromeSetupError_->setPalette(red);
    layout->addWidget(chromeSetupError_);

    layout->addStretch(1);
    chromeConfirmation_ = new QCheckBox(QStringLiteral("I added Zevirudi to Chrome"));
    chromeConfirmation_->setObjectName(QStringLiteral("chromeConfirmation"));
    QObject::connect(chromeConfirmation_, &QCheckBox::toggled, this, [this](bool checked) {
        chromeSetupIsConfirmed_ = checked;
        refresh();
    });
    layout->addWidget(chromeConfirmation_);
    return widget;
}

QWidget* OnboardingView::permissionPage() {
    QWidget* widget = page(
        title(QStringLiteral("Your mail needs your permission.")),
        lead(QStringLiteral("Google and Microsoft ask for read access to your mail. They have no "
                            "permission for login codes alone. Zevirudi uses this access to find "
                            "recent codes and links on this computer.")));
    auto* layout = layoutOf(widget);
    const struct {
        const char* icon;
        QStyle::StandardPixmap fallback;
        const char* heading;
        const char* line;
    } facts[] = {
        {"computer", QStyle::SP_ComputerIcon, "Parsing stays on this computer",
         "No Zevirudi server receives your messages."},
        {"dialog-password", QStyle::SP_DialogSaveButton, "The desktop app holds the token",
         "Chrome receives no mail credential."},
        {"network-offline", QStyle::SP_DriveNetIcon, "No mail is sent to us",
         "The desktop app passes recent mail to the extension on this computer so it can find a "
         "matching code or link."},
    };
    for (const auto& fact : facts) {
        auto* text = new QWidget;
        auto* lines = new QVBoxLayout(text);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(2);
        lines->addWidget(textLabel(QString::fromUtf8(fact.heading), 1.0, QFont::DemiBold));
        lines->addWidget(secondaryLabel(QString::fromUtf8(fact.line)));
        auto* symbol = symbolLabel(QString::fromUtf8(fact.icon), fact.fallback,
                                   palette().color(QPalette::Highlight), 22);
        layout->addLayout(symbolLine(symbol, text));
    }
    layout->addSpacing(4);
    auto* disclosure = new QToolButton;
    disclosure->setObjectName(QStringLiteral("removeAccessDisclosure"));
    disclosure->setText(QStringLiteral("How to remove access"));
    disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    disclosure->setAutoRaise(true);
    QObject::connect(disclosure, &QToolButton::clicked, this, [this] {
        permissionDetailIsVisible_ = !permissionDetailIsVisible_;
        refresh();
    });
    permissionDisclosure_ = disclosure;
    layout->addWidget(disclosure, 0, Qt::AlignLeft);
    permissionDetail_ = secondaryLabel(QStringLiteral(
        "Remove an account in Zevirudi to delete its saved tokens from Keychain. You "
        "can also revoke access in your Google or Microsoft account settings."));
    permissionDetail_->setContentsMargins(24, 0, 0, 0);
    layout->addWidget(permissionDetail_);
    layout->addStretch(1);
    return widget;
}

QWidget* OnboardingView::connectPage() {
    connectTitle_ = title(QString());
    QWidget* widget = page(connectTitle_);
    connectSlot_ = new QVBoxLayout;
    connectSlot_->setContentsMargins(0, 0, 0, 0);
    layoutOf(widget)->addLayout(connectSlot_);
    layoutOf(widget)->addStretch(1);
    return widget;
}

QWidget* OnboardingView::connectContent() {
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    const auto& accounts = viewModel_.accounts();
    const bool busy = isConnecting_ || viewModel_.isConnecting() || viewModel_.isCheckingAccounts();
    if (accounts.empty()) {
        layout->addWidget(
            lead(QStringLiteral("Zevirudi will open the provider’s own consent page in "
                                "Chrome. It does not collect a second account or email "
                                "address.")));
        layout->addSpacing(4);
        const struct {
            MailProvider provider;
            const char* name;
            const char* title;
        } choices[] = {{MailProvider::google, "continueWithGmail", "Continue with Gmail"},
                       {MailProvider::microsoft, "continueWithOutlook", "Continue with Outlook"}};
        for (const auto& choice : choices) {
            const QString text = isConnecting_ ? QStringLiteral("Waiting for consent…")
                                               : QString::fromUtf8(choice.title);
            auto* arrow = symbolLabel(QStringLiteral("go-next"), QStyle::SP_ArrowRight,
                                      palette().color(QPalette::PlaceholderText), 14);
            auto* button = rowButton(providerGlyph(choice.provider, 20, devicePixelRatioF()), text,
                                     nullptr, arrow);
            button->setObjectName(QString::fromUtf8(choice.name));
            button->setEnabled(!busy);
            const MailProvider provider = choice.provider;
            QObject::connect(button, &QPushButton::clicked, this,
                             [this, provider] { startConnection(provider, QString()); });
            layout->addWidget(button);
        }
    } else {
        const loftwing::ConnectedAccount& first = accounts.front();
        const auto& checks = viewModel_.accountChecks();
        const auto check =
            std::find_if(checks.begin(), checks.end(),
                         [&first](const AccountCheck& c) { return c.accountID == first.id; });
        const bool firstIsReady =
            check != checks.end() && check->status == AccountCheck::Status::ready;

        auto* row = card();
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(16, 12, 16, 12);
        rowLayout->setSpacing(12);
        auto* icon = new QLabel;
        icon->setPixmap(providerGlyph(first.provider, 26, devicePixelRatioF()));
        rowLayout->addWidget(icon, 0, Qt::AlignTop);
        auto* lines = new QVBoxLayout;
        lines->setSpacing(2);
        lines->addWidget(textLabel(QString::fromStdString(first.email), 1.0, QFont::Medium));
        lines->addWidget(secondaryLabel(providerLabel(first.provider), 0.9));
        if (!firstIsReady) {
            auto* needsCheck = textLabel(QStringLiteral("Mail access needs a check."), 0.9);
            QPalette orange = needsCheck->palette();
            orange.setColor(QPalette::WindowText, warningColor(this));
            needsCheck->setPalette(orange);
            lines->addWidget(needsCheck);
        }
        rowLayout->addLayout(lines, 1);
        rowLayout->addWidget(
            firstIsReady
                ? symbolLabel(QStringLiteral("object-select"), QStyle::SP_DialogApplyButton,
                              successColor(this), 20, QStringLiteral("Mail access works"))
                : symbolLabel(QStringLiteral("dialog-warning"), QStyle::SP_MessageBoxWarning,
                              warningColor(this), 20, QStringLiteral("Mail access needs a check.")),
            0, Qt::AlignVCenter);
        layout->addWidget(row);

        if (!hasReadyCheck()) {
            layout->addWidget(
                lead(QStringLiteral("Check that you allowed mail access on the consent "
                                    "page. If the provider is busy, try the check "
                                    "again.")));
            auto* buttons = new QHBoxLayout;
            auto* checkAgain = new QPushButton(QStringLiteral("Check again"));
            checkAgain->setObjectName(QStringLiteral("checkAgain"));
            checkAgain->setEnabled(!busy);
            roomy(checkAgain);
            QObject::connect(checkAgain, &QPushButton::clicked, this,
                             [this] { viewModel_.checkAccounts(); });
            buttons->addWidget(checkAgain);
            auto* connectAgain = new QPushButton(QStringLiteral("Connect again"));
            connectAgain->setObjectName(QStringLiteral("connectAgain"));
            connectAgain->setEnabled(!busy);
            roomy(connectAgain);
            const MailProvider provider = first.provider;
            const QString email = QString::fromStdString(first.email);
            QObject::connect(connectAgain, &QPushButton::clicked, this,
                             [this, provider, email] { startConnection(provider, email); });
            buttons->addWidget(connectAgain);
            buttons->addStretch(1);
            layout->addLayout(buttons);
        }
    }
    if (const auto& message = viewModel_.errorMessage()) {
        auto* error = textLabel(*message);
        error->setObjectName(QStringLiteral("connectError"));
        QPalette red = error->palette();
        red.setColor(QPalette::WindowText, errorColor(this));
        error->setPalette(red);
        error->setAccessibleName(*message);
        layout->addLayout(
            symbolLine(symbolLabel(QStringLiteral("dialog-error"), QStyle::SP_MessageBoxCritical,
                                   errorColor(this), 16, QStringLiteral("Error")),
                       error));
    }
    return content;
}

QWidget* OnboardingView::soundPage() {
    QWidget* widget = page(title(QStringLiteral("Choose the sound that means “it arrived.”")),
                           lead(QStringLiteral("Each option is short and separate from the system "
                                               "notification sound.")));
    auto* list = card();
    auto* rows = new QVBoxLayout(list);
    rows->setContentsMargins(4, 4, 4, 4);
    rows->setSpacing(0);
    for (std::size_t index = 0; index < allArrivalSounds.size(); ++index) {
        const ArrivalSound sound = allArrivalSounds[index];
        if (index > 0) {
            auto* rule = new QFrame;
            rule->setFrameShape(QFrame::HLine);
            rule->setFrameShadow(QFrame::Plain);
            rule->setStyleSheet(QStringLiteral("color: palette(midlight);"));
            rows->addWidget(rule);
        }
        auto* row = new QPushButton;
        row->setObjectName(QStringLiteral("sound-") + rawValue(sound));
        row->setFlat(true);
        row->setMinimumHeight(58);
        row->setAccessibleDescription(QStringLiteral("Select and play this sound"));
        auto* layout = new QHBoxLayout(row);
        layout->setContentsMargins(12, 6, 14, 6);
        layout->setSpacing(12);
        soundMarks_[index] = new QLabel;
        soundMarks_[index]->setFixedSize(20, 20);
        layout->addWidget(soundMarks_[index]);
        auto* lines = new QVBoxLayout;
        lines->setSpacing(2);
        lines->addStretch(1);
        lines->addWidget(textLabel(label(sound), 1.0, QFont::DemiBold));
        lines->addWidget(secondaryLabel(description(sound), 0.92));
        lines->addStretch(1);
        layout->addLayout(lines, 1);
        layout->addWidget(symbolLabel(QStringLiteral("audio-volume-high"), QStyle::SP_MediaVolume,
                                      palette().color(QPalette::PlaceholderText), 18));
        for (QWidget* child : row->findChildren<QWidget*>()) {
            child->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
        QObject::connect(row, &QPushButton::clicked, this, [this, sound] { chooseSound(sound); });
        soundRows_[index] = row;
        rows->addWidget(row);
    }
    layoutOf(widget)->addWidget(list);
    layoutOf(widget)->addStretch(1);
    return widget;
}

QWidget* OnboardingView::rehearsalPage() {
    QWidget* widget = page(title(QStringLiteral("One rehearsal. Then you are ready.")),
                           lead(QStringLiteral("Run a local sample so you know what to look for in "
                                               "Chrome. No email is sent and no extra mail "
                                               "permission is added.")));
    auto* rehearsal = new OnboardingRehearsal(
        rehearsalDidRun_, [this] { playStoredArrivalSound(settings_, *environment_.player); });
    QObject::connect(rehearsal, &OnboardingRehearsal::didRunChanged, this,
                     [this](bool didRun) { rehearsalDidRun_ = didRun; });
    layoutOf(widget)->addWidget(rehearsal);
    layoutOf(widget)->addStretch(1);
    return widget;
}

}  // namespace zevirudi
