#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class QMessageBox;

namespace zevirudi {

class AccountManagerViewModel;
class AddAccountView;

// The main window's screen after onboarding: the connected inboxes with their mail access, adding,
// reconnecting, removing and checking them, the state of the Chrome connection, and the
// missed-result report. Failures show in an alert that clears the view model's errorMessage when
// dismissed.
class AccountManagerView : public QWidget {
    Q_OBJECT
  public:
    explicit AccountManagerView(AccountManagerViewModel& viewModel, QWidget* parent = nullptr);

  private:
    void refresh();
    void refreshSheet();
    void refreshAlert();
    void presentReport();

    AccountManagerViewModel& viewModel_;
    QStackedWidget* content_ = nullptr;
    QVBoxLayout* rows_ = nullptr;
    QPushButton* check_ = nullptr;
    QLabel* chromeGlyph_ = nullptr;
    QLabel* chromeText_ = nullptr;
    QPointer<AddAccountView> sheet_;
    QPointer<QMessageBox> alert_;
};

}  // namespace zevirudi
