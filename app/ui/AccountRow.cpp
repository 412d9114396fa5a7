#include "ui/AccountRow.h"

#include "ui/Glyphs.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace zevirudi {
namespace {

const QColor orange(0xD9, 0x6C, 0x00);

QLabel* caption(const QString& text, const QColor& color) {
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.88);
    label->setFont(font);
    QPalette palette = label->palette();
    // Inside the list the labels draw with Text (the role that contrasts with Base).
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    label->setPalette(palette);
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
    : QWidget(parent) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 8, 8, 8);
    layout->setSpacing(10);

    const bool isGoogle = account.provider == loftwing::MailProvider::google;
    auto* tile = new QLabel;
    tile->setFixedSize(30, 30);
    tile->setAlignment(Qt::AlignCenter);
    tile->setStyleSheet(
        QStringLiteral("background: rgba(128, 128, 128, 0.14); border-radius: 8px;"));
    tile->setPixmap(glyphPixmap(isGoogle ? Glyph::envelope : Glyph::envelopeBadge,
                                isGoogle ? QColor(0xE5, 0x39, 0x35) : QColor(0x1E, 0x6F, 0xE0), 18,
                                devicePixelRatioF()));
    layout->addWidget(tile, 0, Qt::AlignTop);

    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    auto* email = new QLabel(QString::fromStdString(account.email));
    QFont medium = email->font();
    medium.setWeight(QFont::Medium);
    email->setFont(medium);
    email->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->addWidget(email);
    text->addWidget(caption(QString::fromUtf8(loftwing::displayName(account.provider).data()),
                            palette().color(QPalette::PlaceholderText)));
    text->addWidget(caption(statusText(check), statusIsWarning(check)
                                                   ? orange
                                                   : palette().color(QPalette::PlaceholderText)));
    layout->addLayout(text, 1);

    if (check && check->status == loftwing::AccountCheck::Status::reconnectRequired) {
        auto* again = new QPushButton(QStringLiteral("Connect again"));
        again->setEnabled(!isBusy);
        QObject::connect(again, &QPushButton::clicked, this, std::move(reconnect));
        layout->addWidget(again, 0, Qt::AlignVCenter);
    }

    auto* actions = new QToolButton;
    actions->setAutoRaise(true);
    actions->setIcon(glyphIcon(Glyph::ellipsis, palette().color(QPalette::PlaceholderText), 18));
    actions->setIconSize(QSize(18, 18));
    actions->setPopupMode(QToolButton::InstantPopup);
    actions->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    actions->setAccessibleName(QStringLiteral("Account actions for ") +
                               QString::fromStdString(account.email));
    auto* menu = new QMenu(actions);
    QObject::connect(menu->addAction(QStringLiteral("Remove account")), &QAction::triggered, this,
                     std::move(remove));
    actions->setMenu(menu);
    layout->addWidget(actions, 0, Qt::AlignVCenter);
}

}  // namespace zevirudi
