#include "notch/NotchPanelController.h"

#include "desktop/BrowserLocator.h"
#include "notch/NotchNotificationView.h"
#include "notch/NotchPanel.h"
#include "notch/NotchScreens.h"

#include <boost/url/parse.hpp>

#include <QApplication>
#include <QClipboard>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QScreen>

#include <cmath>

namespace zevirudi {
namespace {

QRect qtRect(const NotchRect& rect) {
    return QRect(static_cast<int>(std::lround(rect.x)), static_cast<int>(std::lround(rect.y)),
                 static_cast<int>(std::lround(rect.width)),
                 static_cast<int>(std::lround(rect.height)));
}

// Ease in and out with the classic control points (0.42, 0) and (0.58, 1).
QEasingCurve easeInEaseOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0.42, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

}  // namespace

NotchActions NotchActions::standard() {
    return NotchActions{
        .openLink = [](const std::string& url) { return BrowserLocator().openURL(url); },
        .beep = [] { QApplication::beep(); },
    };
}

NotchPanelController::NotchPanelController(NotchNotification notification, NotchTimings timings,
                                           NotchActions actions)
    : notification_(std::move(notification)), timings_(timings), actions_(std::move(actions)) {
    dismissalTimer_.setSingleShot(true);
    connect(&dismissalTimer_, &QTimer::timeout, this, [this] { dismiss(); });
}

NotchPanelController::~NotchPanelController() {
    if (animation_) {
        animation_->stop();
    }
    delete panel_.data();
}

void NotchPanelController::present(std::function<void()> onFinished) {
    if (hasPresented_) {
        return;
    }
    const auto chosen = chooseScreenForNotch();
    if (!chosen) {
        hasPresented_ = true;
        if (onFinished) {
            onFinished();
        }
        return;
    }
    present(chosen->screen, chosen->geometry, std::move(onFinished));
}

void NotchPanelController::present(QScreen* screen, const NotchGeometry& geometry,
                                   std::function<void()> onFinished) {
    if (hasPresented_) {
        return;
    }
    hasPresented_ = true;
    continuation_ = std::move(onFinished);
    geometry_ = geometry;

    QPointer<NotchPanelController> weakSelf(this);
    NotchViewCallbacks callbacks{
        .performAction =
            [weakSelf] {
                if (weakSelf) {
                    weakSelf->performAction();
                }
            },
        .close =
            [weakSelf] {
                if (weakSelf) {
                    weakSelf->dismiss();
                }
            },
        .hoverChanged =
            [weakSelf](bool inside) {
                if (weakSelf) {
                    weakSelf->hoverChanged(inside);
                }
            },
    };
    auto* view =
        new NotchNotificationView(notification_, geometry.joinsNotch, geometry.notchClearance,
                                  geometry.notchWidth, std::move(callbacks));
    view->setLayoutSize(qtRect(geometry.expandedFrame).size());

    panel_ = new NotchPanel();
    if (screen != nullptr) {
        panel_->setScreen(screen);
    }
    panel_->setContentView(view);
    panel_->setGeometry(qtRect(geometry.collapsedFrame));
    panel_->show();
    panel_->raise();

    QTimer::singleShot(timings_.expandDelay, this, [this] { expand(); });
    scheduleDismissal();
}

void NotchPanelController::expand() {
    if (!panel_ || isFinishing_) {
        return;
    }
    animatePanel(geometry_.expandedFrame, timings_.expandDuration);
}

void NotchPanelController::scheduleDismissal() {
    dismissalTimer_.start(timings_.dismissalDelay);
}

void NotchPanelController::hoverChanged(bool pointerInside) {
    if (isFinishing_) {
        return;
    }
    if (pointerInside) {
        dismissalTimer_.stop();
    } else {
        scheduleDismissal();
    }
}

void NotchPanelController::performAction() {
    if (isFinishing_) {
        return;
    }
    if (const auto* code = std::get_if<loftwing::CodeNotificationPayload>(&notification_)) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(QString::fromStdString(code->code));
        dismiss();
        return;
    }
    const auto& link = std::get<loftwing::LinkNotificationPayload>(notification_);
    if (boost::urls::parse_uri(link.url) && actions_.openLink && actions_.openLink(link.url)) {
        dismiss();
        return;
    }
    if (actions_.beep) {
        actions_.beep();
    }
}

void NotchPanelController::dismiss() {
    if (isFinishing_) {
        return;
    }
    isFinishing_ = true;
    dismissalTimer_.stop();
    if (panel_) {
        animatePanel(geometry_.collapsedFrame, timings_.collapseDuration);
    }
    QTimer::singleShot(timings_.finishDelay, this, [this] { finish(); });
}

void NotchPanelController::animatePanel(const NotchRect& frame,
                                        std::chrono::milliseconds duration) {
    if (animation_) {
        animation_->stop();
    }
    animation_ = new QPropertyAnimation(panel_.data(), "geometry", this);
    animation_->setDuration(static_cast<int>(duration.count()));
    animation_->setEasingCurve(easeInEaseOut());
    animation_->setStartValue(panel_->geometry());
    animation_->setEndValue(qtRect(frame));
    animation_->start(QAbstractAnimation::DeleteWhenStopped);
}

void NotchPanelController::finish() {
    if (animation_) {
        animation_->stop();
    }
    if (panel_) {
        panel_->hide();
        panel_->close();
        panel_->deleteLater();
        panel_.clear();
    }
    if (continuation_) {
        // Cleared before the call: whatever it does, it cannot be resumed a second time.
        auto resume = std::move(continuation_);
        continuation_ = nullptr;
        resume();
    }
}

}  // namespace zevirudi
