#pragma once

#include <QWidget>

#include <functional>

namespace zevirudi {

class AccountManagerViewModel;

// First-run introduction: what the application does, the way to Chrome setup, and the step that
// ends onboarding. `completion` runs when the user finishes.
class OnboardingView : public QWidget {
    Q_OBJECT
  public:
    OnboardingView(AccountManagerViewModel& viewModel, std::function<void()> completion,
                   QWidget* parent = nullptr);
};

}  // namespace zevirudi
