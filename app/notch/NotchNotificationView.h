#pragma once

#include "notch/NotchNotification.h"

#include <QSize>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QPushButton;

namespace zevirudi {

// What the view reports back to whoever shows it. Any of them may be empty.
struct NotchViewCallbacks {
    std::function<void()> performAction;
    std::function<void()> close;
    std::function<void(bool)> hoverChanged;  // true when the pointer entered the view
};

// The panel's content: brand strip, the title or code with its subtitle, one action button and a
// close button, on a black body. With a notch the body hangs from the camera housing; without one
// it is a rounded card. The content is laid out for the expanded size and centred at the top, so
// that while the panel grows or shrinks the body clips it instead of squeezing it.
class NotchNotificationView : public QWidget {
  public:
    NotchNotificationView(NotchNotification notification, bool joinsNotch, double notchClearance,
                          double notchWidth, NotchViewCallbacks callbacks,
                          QWidget* parent = nullptr);

    // The size the content is laid out for (the panel's expanded size). Until set, the view's
    // own size.
    void setLayoutSize(QSize size);

    QPushButton* actionButton() const { return actionButton_; }
    QAbstractButton* closeButton() const { return closeButton_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    struct Layout;
    Layout layout() const;
    void placeButtons();

    NotchNotification notification_;
    bool joinsNotch_;
    double notchClearance_;
    double notchWidth_;
    NotchViewCallbacks callbacks_;
    QSize layoutSize_;
    QPushButton* actionButton_;
    QAbstractButton* closeButton_;
};

}  // namespace zevirudi
