#pragma once

#include "ui/AppUpdates.h"

#include <QMainWindow>

class QSettings;

namespace zevirudi {

class AccountManagerViewModel;
class AppRootView;

// The application's one window: AppRootView as its content (which starts preparing at once), the
// "Add Account" and "Check for Updates…" commands, and the title and size that follow the
// content.
class DesktopWindow : public QMainWindow {
    Q_OBJECT
  public:
    // Everything passed in outlives the window.
    DesktopWindow(AccountManagerViewModel& viewModel, AppUpdates& updates, QSettings& settings,
                  BundleInfo info, QWidget* parent = nullptr);

    AppRootView& rootView() const { return *root_; }
    QAction& checkForUpdatesAction() const { return *checkForUpdates_; }

    // Brings the window to the front, as after the browser's sign-in redirect.
    void activate();

  private:
    void showUpdateResult(const UpdateCheckResult& result);

    BundleInfo info_;
    AppRootView* root_ = nullptr;
    QAction* checkForUpdates_ = nullptr;
};

}  // namespace zevirudi
