#pragma once

#include <QWidget>

namespace zevirudi {

class NotchNotificationView;

// The panel's window: frameless, translucent, above everything, on every workspace, and never
// taking the keyboard focus from the browser. Its one child, the content view, fills it.
class NotchPanel : public QWidget {
  public:
    explicit NotchPanel(QWidget* parent = nullptr);

    // Takes ownership of the view.
    void setContentView(NotchNotificationView* view);
    NotchNotificationView* contentView() const { return view_; }

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    NotchNotificationView* view_ = nullptr;
};

}  // namespace zevirudi
