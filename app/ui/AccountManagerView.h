#pragma once

#include "ui/MissedResultReportView.h"

#include <QPointer>
#include <QWidget>

class QFrame;
class QLabel;
class QMessageBox;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;

namespace zevirudi {

class AccountManagerViewModel;
class AddAccountView;

// The main window's screen after onboarding: the connected inboxes with their mail access, adding,
// reconnecting, removing and checking them, the state of the Chrome connection, and the
// missed-result report. Failures show in an alert that clears the view model's errorMessage however
// it is dismissed. Follows the desktop's palette, dark mode included.
class AccountManagerView : public QWidget {
    Q_OBJECT
  public:
    explicit AccountManagerView(AccountManagerViewModel& viewModel, QWidget* parent = nullptr);

    // The open report sheet, if any.
    MissedResultReportView* reportSheet() const { return report_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void refresh();
    void refreshChromeStatus();
    void refreshSheet();
    void refreshAlert();
    void presentReport();
    void applyPaletteColours();

    AccountManagerViewModel& viewModel_;
    QLabel* tile_ = nullptr;
    QPushButton* addAccount_ = nullptr;
    QLabel* emptySymbol_ = nullptr;
    QPushButton* addFirstAccount_ = nullptr;
    QStackedWidget* content_ = nullptr;
    QVBoxLayout* rows_ = nullptr;
    QPushButton* check_ = nullptr;
    QFrame* footer_ = nullptr;
    QLabel* chromeGlyph_ = nullptr;
    QLabel* chromeText_ = nullptr;
    QPointer<AddAccountView> sheet_;
    QPointer<MissedResultReportView> report_;
    QPointer<QMessageBox> alert_;
};

}  // namespace zevirudi
