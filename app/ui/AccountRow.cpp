#include "ui/AccountRow.h"

#include "ui/Glyphs.h"
#include "ui/ScreenColours.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace zevirudi {
namespace {

QLabel* caption(const QString& text, const char* name) {
    auto* label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.88);
    label->setFont(font);
    return label;
}

}  // namespace

QString AccountRow::statusText(const std::optional<loftwing::AccountCheck>& check) {
    if (!check) {
        return QStringLiteral("Mail access not checked");
    }
    switch (check->status) {
        case loftwing::AccountCheck::Status::ready:
            return QStringLiteral("Mail access works");
        case loftwing::AccountCheck::Status::reconnectRequired:
            return QStringLiteral("Connect again to restore mail access");
        case loftwing::AccountCheck::Status::unavailable:
            break;
    }
    return QStringLiteral("Mail access failed. Try the check again.");
}

bool AccountRow::statusIsWarning(const std::optional<loftwing::AccountCheck>& check) {
    return !check || check->status != loftwing::AccountCheck::Status::ready;
}

AccountRow::AccountRow(loftwing::ConnectedAccount account,
                       std::optional<loftwing::AccountCheck> check, bool isBusy,
                       std::function<void()> reconnect, std::function<void()> remove,
                       QWidget* parent)
    : QWidget(parent),
      isGoogle_(account.provider == loftwing::MailProvider::google),
      statusIsWarning_(statusIsWarning(check)) {
    const QString email = QString::fromStdString(account.email);
    setAccessibleName(email);
    // As tall as its lines: the list's free space stays below the last row.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 9, 8, 9);
    layout->setSpacing(11);
    tile_ = new QLabel;
    tile_->setFixedSize(30, 30);
    tile_->setAlignment(Qt::AlignCenter);
    layout->addWidget(tile_, 0, Qt::AlignVCenter);

    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    auto* address = new QLabel(email);
    address->setObjectName(QStringLiteral("email"));
    QFont medium = address->font();
    medium.setWeight(QFont::Medium);
    address->setFont(medium);
    address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->addWidget(address);
    provider_ =
        caption(QString::fromUtf8(loftwing::displayName(account.provider).data()), "provider");
    text->addWidget(provider_);
    status_ = caption(statusText(check), "status");
    text->addWidget(status_);
    layout->addLayout(text, 1);

    if (check && check->status == loftwing::AccountCheck::Status::reconnectRequired) {
        auto* again = new QPushButton(QStringLiteral("Connect again"));
        again->setObjectName(QStringLiteral("connectAgain"));
        again->setAccessibleName(QStringLiteral("Connect again"));
        again->setAccessibleDescription(email);
        again->setEnabled(!isBusy);
        QObject::connect(again, &QPushButton::clicked, this, std::move(reconnect));
        layout->addWidget(again, 0, Qt::AlignVCenter);
    }

    actions_ = new QToolButton;
    actions_->setObjectName(QStringLiteral("accountActions"));
    actions_->setAutoRaise(true);
    actions_->setFocusPolicy(Qt::StrongFocus);
    actions_->setIconSize(QSize(18, 18));
    actions_->setPopupMode(QToolButton::InstantPopup);
    actions_->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    actions_->setAccessibleName(QStringLiteral("Account actions for ") + email);
    actions_->setToolTip(actions_->accessibleName());
    auto* menu = new QMenu(actions_);
    menu->setAccessibleName(actions_->accessibleName());
    remove_ = menu->addAction(QStringLiteral("Remove account"));
    QObject::connect(remove_, &QAction::triggered, this, std::move(remove));
    actions_->setMenu(menu);
    layout->addWidget(actions_, 0, Qt::AlignVCenter);
    applyPaletteColours();
}

void AccountRow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        applyPaletteColours();
    }
}

void AccountRow::applyPaletteColours() {
    const QPalette colours = palette();
    QColor fill = colours.color(QPalette::WindowText);
    fill.setAlphaF(isDark(colours) ? 0.12f : 0.07f);
    tile_->setStyleSheet(QStringLiteral("background: rgba(%1, %2, %3, %4); border-radius: 8px;")
                             .arg(fill.red())
                             .arg(fill.green())
                             .arg(fill.blue())
                             .arg(fill.alphaF()));
    tile_->setPixmap(glyphPixmap(isGoogle_ ? Glyph::envelope : Glyph::envelopeBadge,
                                 isGoogle_ ? redColour(colours) : blueColour(colours), 18,
                                 devicePixelRatioF()));
    setTextColour(provider_, secondaryColour(colours));
    setTextColour(status_, statusIsWarning_ ? orangeColour(colours) : secondaryColour(colours));
    actions_->setIcon(glyphIcon(Glyph::ellipsisCircle, secondaryColour(colours), 18));
    // Destructive: the red bin says so before the click.
    remove_->setIcon(glyphIcon(Glyph::trash, redColour(colours)));
}

}  // namespace zevirudi
