#pragma once

#include "notch/NotchGeometry.h"
#include "notch/NotchNotification.h"
#include "notch/NotchPanel.h"
#include "notch/NotchTimings.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>
#include <string>

class QPropertyAnimation;
class QScreen;

namespace zevirudi {

// How the panel's actions reach the desktop. The defaults open links with BrowserLocator and
// sound the application's beep.
struct NotchActions {
    // Opens an already parsed URL; false when no browser could take it.
    std::function<bool(const std::string& url)> openLink;
    std::function<void()> beep;

    static NotchActions standard();
};

// Presents one notification once: shows the panel collapsed, grows it, waits for the action, the
// close button or the timer, shrinks it, removes it and then tells the caller, exactly once.
// Lives on the GUI thread.
class NotchPanelController : public QObject {
  public:
    explicit NotchPanelController(NotchNotification notification, NotchTimings timings = {},
                                  NotchActions actions = NotchActions::standard());
    // Removes a panel still showing; a presentation cut short this way tells nobody.
    ~NotchPanelController() override;

    NotchPanelController(const NotchPanelController&) = delete;
    NotchPanelController& operator=(const NotchPanelController&) = delete;

    // Shows the panel on the chosen screen. `onFinished` runs once the panel has been removed;
    // when there is no screen it runs before present returns. Only the first call presents.
    void present(std::function<void()> onFinished);
    // The same on a given screen and geometry (Qt coordinates).
    void present(QScreen* screen, const NotchGeometry& geometry, std::function<void()> onFinished);

    // What the content view's buttons and pointer tracking call.
    void performAction();
    void dismiss();
    void hoverChanged(bool pointerInside);

    const NotchNotification& notification() const { return notification_; }
    NotchPanel* panel() const { return panel_.data(); }
    const NotchGeometry& geometry() const { return geometry_; }
    bool isFinishing() const { return isFinishing_; }
    bool isDismissalPending() const { return dismissalTimer_.isActive(); }

  private:
    void expand();
    void scheduleDismissal();
    void animatePanel(const NotchRect& frame, std::chrono::milliseconds duration);
    void finish();

    NotchNotification notification_;
    NotchTimings timings_;
    NotchActions actions_;
    QPointer<NotchPanel> panel_;
    std::function<void()> continuation_;
    QTimer dismissalTimer_;
    QPointer<QPropertyAnimation> animation_;
    NotchGeometry geometry_;
    bool hasPresented_ = false;
    bool isFinishing_ = false;
};

}  // namespace zevirudi
