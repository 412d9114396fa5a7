#include "notch/NotchPanel.h"

#include "notch/NotchNotificationView.h"

namespace zevirudi {

NotchPanel::NotchPanel(QWidget* parent)
    // A tool window the window manager does not manage: no decoration, no focus, no taskbar
    // entry, and (being unmanaged) visible on whichever workspace is current.
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint |
                          Qt::NoDropShadowWindowHint) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11NetWmWindowTypeNotification);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::NoFocus);
}

void NotchPanel::setContentView(NotchNotificationView* view) {
    view_ = view;
    view_->setParent(this);
    view_->setGeometry(rect());
    setAccessibleName(view_->accessibleName());
}

void NotchPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (view_ != nullptr) {
        view_->setGeometry(rect());
    }
}

}  // namespace zevirudi
