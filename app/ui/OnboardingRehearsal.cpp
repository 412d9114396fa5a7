#include "ui/OnboardingRehearsal.h"

#include "ui/OnboardingLook.h"

#include <QFontDatabase>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace zevirudi {

OnboardingRehearsal::OnboardingRehearsal(bool didRun, std::function<void()> playSound,
                                         QWidget* parent)
    : QWidget(parent), didRun_(didRun), playSound_(std::move(playSound)) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(12);
    auto* form = card();
    outer->addWidget(form);
    auto* layout = new QVBoxLayout(form);
    layout->setContentsMargins(18, 14, 18, 16);
    layout->setSpacing(6);

    auto* heading = secondaryLabel(QStringLiteral("DEMO LOGIN"), 0.8);
    QFont spaced = heading->font();
    spaced.setWeight(QFont::DemiBold);
    spaced.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
    heading->setFont(spaced);
    layout->addWidget(heading);
    layout->addSpacing(4);
    auto* caption = textLabel(QStringLiteral("Verification code"), 0.9, QFont::Medium);
    layout->addWidget(caption);

    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    field_ = new QLineEdit;
    field_->setObjectName(QStringLiteral("sampleCodeField"));
    field_->setReadOnly(true);
    field_->setFocusPolicy(Qt::NoFocus);
    field_->setAccessibleName(QStringLiteral("Verification code"));
    field_->setMinimumHeight(34);
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digits.setPointSizeF(field_->font().pointSizeF() * 1.15);
    digits.setLetterSpacing(QFont::AbsoluteSpacing, 2.0);
    field_->setFont(digits);
    field_->setTextMargins(6, 0, 6, 0);
    caption->setBuddy(field_);
    row->addWidget(field_, 1);
    button_ = new QPushButton;
    button_->setObjectName(QStringLiteral("trySampleCode"));
    button_->setText(QStringLiteral("Try sample code"));
    roomy(button_);
    button_->setMinimumHeight(34);
    QObject::connect(button_, &QPushButton::clicked, this, &OnboardingRehearsal::run);
    row->addWidget(button_);
    layout->addLayout(row);

    waiting_ = new QProgressBar;
    waiting_->setRange(0, 0);
    waiting_->setTextVisible(false);
    waiting_->setFixedHeight(4);
    waiting_->setAccessibleName(QStringLiteral("Waiting for the sample code"));
    QSizePolicy keepPlace = waiting_->sizePolicy();
    keepPlace.setRetainSizeWhenHidden(true);
    waiting_->setSizePolicy(keepPlace);
    layout->addWidget(waiting_);

    result_ = new QWidget;
    auto* lines = new QVBoxLayout(result_);
    lines->setContentsMargins(0, 0, 0, 0);
    lines->setSpacing(4);
    auto* filled = new QHBoxLayout;
    filled->setSpacing(8);
    filled->addWidget(symbolLabel(QStringLiteral("object-select"), QStyle::SP_DialogApplyButton,
                                  successColor(this), 16));
    filled->addWidget(
        textLabel(QStringLiteral("Sample code filled. The form stayed put."), 1.0, QFont::Medium),
        1);
    lines->addLayout(filled);
    lines->addWidget(
        secondaryLabel(QStringLiteral("Your connected inbox stays under your control.")));
    QSizePolicy keepResultPlace = result_->sizePolicy();
    keepResultPlace.setRetainSizeWhenHidden(true);
    result_->setSizePolicy(keepResultPlace);
    outer->addWidget(result_);
    refresh();
}

void OnboardingRehearsal::run() {
    isWaiting_ = true;
    if (didRun_) {
        didRun_ = false;
        emit didRunChanged(false);
    }
    refresh();
    // Each run has its own timer; destroying the rehearsal ends the runs with it.
    QTimer::singleShot(waitMilliseconds, this, &OnboardingRehearsal::finishRun);
}

void OnboardingRehearsal::finishRun() {
    isWaiting_ = false;
    if (!didRun_) {
        didRun_ = true;
        emit didRunChanged(true);
    }
    refresh();
    playSound_();
}

void OnboardingRehearsal::refresh() {
    button_->setText(didRun_ ? QStringLiteral("Run it again") : QStringLiteral("Try sample code"));
    field_->setText(didRun_ ? QStringLiteral("482913") : QString());
    waiting_->setVisible(isWaiting_);
    result_->setVisible(didRun_);
}

}  // namespace zevirudi
