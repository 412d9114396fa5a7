#pragma once

#include <QWidget>

#include <optional>

class QSettings;
class QVBoxLayout;

namespace zevirudi {

class AccountManagerViewModel;

// The window's content: "Preparing Zevirudi…" while the view model prepares, then onboarding or
// the account manager. Onboarding is decided once per window: shown only when it was never
// completed and no account exists.
class AppRootView : public QWidget {
    Q_OBJECT
  public:
    static constexpr const char* didCompleteOnboardingKey = "did-complete-onboarding-v1";

    // Starts preparing once the progress view has been painted, so that preparing never delays
    // the window's first frame. `settings` holds the onboarding flag and outlives the view.
    AppRootView(AccountManagerViewModel& viewModel, QSettings& settings, QWidget* parent = nullptr);

    // Absent until the decision is taken.
    std::optional<bool> onboardingIsPresented() const { return onboardingIsPresented_; }
    QWidget* content() const { return content_; }

  signals:
    // The content was replaced (the window may need to fit its new size).
    void contentChanged();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void decide();
    void present(QWidget* content);

    AccountManagerViewModel& viewModel_;
    QSettings& settings_;
    std::optional<bool> onboardingIsPresented_;
    bool didStartPreparing_ = false;
    QVBoxLayout* layout_ = nullptr;
    QWidget* content_ = nullptr;
};

}  // namespace zevirudi
