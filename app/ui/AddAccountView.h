#pragma once

#include "records/MailProvider.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zevirudi {

class AccountManagerViewModel;

// The sheet that starts a new connection: provider, address, Continue. Stays open with the error
// when the connection fails, and closes itself when it succeeds.
class AddAccountView : public QDialog {
    Q_OBJECT
  public:
    explicit AddAccountView(AccountManagerViewModel& viewModel, QWidget* parent = nullptr);

    // The address, trimmed of white space and newlines, holds an at sign and no space.
    static bool emailIsValid(const QString& email);
    bool providerIsConfigured() const;

  private:
    void refresh();
    void startConnection();

    AccountManagerViewModel& viewModel_;
    loftwing::MailProvider provider_ = loftwing::MailProvider::google;
    QLineEdit* email_ = nullptr;
    QLabel* notConfigured_ = nullptr;
    QLabel* error_ = nullptr;
    QPushButton* continue_ = nullptr;
};

}  // namespace zevirudi
