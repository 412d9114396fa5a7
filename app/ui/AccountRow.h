#pragma once

#include "records/AccountRecords.h"
#include "records/MailRecords.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace zevirudi {

// One connected inbox in the account list: provider tile, address, provider name, the state of
// its mail access, "Connect again" when the provider wants a new sign-in, and a menu to remove it.
class AccountRow : public QWidget {
    Q_OBJECT
  public:
    AccountRow(loftwing::ConnectedAccount account, std::optional<loftwing::AccountCheck> check,
               bool isBusy, std::function<void()> reconnect, std::function<void()> remove,
               QWidget* parent = nullptr);

    // The status line's text and colour for a check result (none: not checked yet).
    static QString statusText(const std::optional<loftwing::AccountCheck>& check);
    static bool statusIsWarning(const std::optional<loftwing::AccountCheck>& check);
};

}  // namespace zevirudi
