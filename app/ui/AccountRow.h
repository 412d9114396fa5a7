#pragma once

#include "records/AccountRecords.h"
#include "records/MailRecords.h"

#include <QWidget>

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QToolButton;

namespace zevirudi {

// One connected inbox in the account list: provider tile, address, provider name, the state of
// its mail access, "Connect again" when the provider wants a new sign-in, and a menu to remove it
// (at once, without asking: connecting it again takes a minute). Its colours follow the palette.
class AccountRow : public QWidget {
    Q_OBJECT
  public:
    AccountRow(loftwing::ConnectedAccount account, std::optional<loftwing::AccountCheck> check,
               bool isBusy, std::function<void()> reconnect, std::function<void()> remove,
               QWidget* parent = nullptr);

    // The status line's text for a check result (none: not checked yet), and whether it is drawn
    // in orange rather than the secondary colour.
    static QString statusText(const std::optional<loftwing::AccountCheck>& check);
    static bool statusIsWarning(const std::optional<loftwing::AccountCheck>& check);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void applyPaletteColours();

    bool isGoogle_;
    bool statusIsWarning_;
    QLabel* tile_ = nullptr;
    QLabel* provider_ = nullptr;
    QLabel* status_ = nullptr;
    QToolButton* actions_ = nullptr;
    QAction* remove_ = nullptr;
};

}  // namespace zevirudi
