#include "ui/IntroCodeDemo.h"

#include "ui/OnboardingLook.h"

#include <QEasingCurve>
#include <QFontDatabase>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPropertyAnimation>
#include <QTimer>
#include <QVBoxLayout>

namespace zevirudi {
namespace {

// The standard ease-in-out timing curve, cubic Bézier (0.42, 0) (0.58, 1).
QEasingCurve easeInOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0.0), QPointF(0.58, 1.0), QPointF(1.0, 1.0));
    return curve;
}

QWidget* mockField() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(secondaryLabel(QStringLiteral("Verification code"), 0.9));
    auto* field = new QFrame;
    field->setObjectName(QStringLiteral("mockField"));
    field->setStyleSheet(
        QStringLiteral("QFrame#mockField { background-color: palette(window); "
                       "border: 1px solid palette(mid); border-radius: 6px; }"));
    field->setFixedHeight(36);
    auto* caret = new QHBoxLayout(field);
    caret->setContentsMargins(12, 0, 12, 0);
    auto* placeholder = secondaryLabel(QStringLiteral("• • • • • •"));
    caret->addWidget(placeholder);
    layout->addWidget(field);
    return column;
}

QWidget* suggestionBubble() {
    auto* bubble = new QFrame;
    bubble->setObjectName(QStringLiteral("suggestion"));
    bubble->setStyleSheet(
        QStringLiteral("QFrame#suggestion { background-color: palette(window); "
                       "border: 1px solid palette(highlight); border-radius: 10px; }"));
    auto* layout = new QVBoxLayout(bubble);
    layout->setContentsMargins(14, 10, 14, 12);
    layout->setSpacing(2);
    auto* code = textLabel(QStringLiteral("482 913"), 1.6, QFont::Bold);
    QFont digits = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    digits.setPointSizeF(code->font().pointSizeF());
    digits.setWeight(QFont::Bold);
    code->setFont(digits);
    layout->addWidget(code);
    layout->addWidget(secondaryLabel(QStringLiteral("Papertrail · now"), 0.85));
    layout->addSpacing(6);
    auto* fill = textLabel(QStringLiteral("Fill Code"), 0.9, QFont::DemiBold);
    fill->setAlignment(Qt::AlignCenter);
    fill->setStyleSheet(
        QStringLiteral("background-color: palette(highlight); "
                       "color: palette(highlighted-text); border-radius: 6px; "
                       "padding: 3px 10px;"));
    layout->addWidget(fill, 0, Qt::AlignLeft);
    bubble->setAccessibleName(QStringLiteral("Suggested code 482 913 from Papertrail"));
    return bubble;
}

}  // namespace

IntroCodeDemo::IntroCodeDemo(bool reduceMotion, QWidget* parent)
    : QWidget(parent), reduceMotion_(reduceMotion) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* panel = card();
    outer->addWidget(panel);
    auto* layout = new QHBoxLayout(panel);
    layout->setContentsMargins(18, 16, 18, 16);
    layout->setSpacing(16);
    layout->addWidget(mockField(), 1, Qt::AlignVCenter);

    suggestion_ = suggestionBubble();
    opacity_ = new QGraphicsOpacityEffect(suggestion_);
    opacity_->setOpacity(0.0);
    suggestion_->setGraphicsEffect(opacity_);
    // The form keeps its place while the code is hidden.
    QSizePolicy policy = suggestion_->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    suggestion_->setSizePolicy(policy);
    suggestion_->hide();
    layout->addWidget(suggestion_, 0, Qt::AlignVCenter);
}

void IntroCodeDemo::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (wasShown_) {
        return;
    }
    wasShown_ = true;
    if (reduceMotion_) {
        revealCode(false);
    } else {
        QTimer::singleShot(delayMilliseconds, this, [this] { revealCode(true); });
    }
}

void IntroCodeDemo::revealCode(bool animated) {
    codeIsVisible_ = true;
    suggestion_->show();
    if (animated) {
        auto* fade = new QPropertyAnimation(opacity_, "opacity", this);
        fade->setDuration(fadeMilliseconds);
        fade->setStartValue(0.0);
        fade->setEndValue(1.0);
        fade->setEasingCurve(easeInOut());
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        opacity_->setOpacity(1.0);
    }
    emit codeIsVisibleChanged();
}

}  // namespace zevirudi
