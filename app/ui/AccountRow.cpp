#include "ui/AccountRow.h"

#include "ui/Glyphs.h"
#include "ui/ScreenColours.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace zevirudi {
namespace {

QLabel* caption(const QString& text, const QColor& colour, const char* name) {
    auto* label = new QLabel(text);
    label->setObjectName(QString::fromLatin1(name));
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.88);
    label->setFont(font);
    setTextColour(label, colour);
    return label;
}

// The 30-point provider tile: a rounded square in a faint fill with the provider's envelope.
QLabel* providerTile(loftwing::MailProvider provider, const QPalette& palette, qreal ratio) {
    const bool isGoogle = provider == loftwing::MailProvider::google;
    QColor fill = palette.color(QPalette::WindowText);
    fill.setAlphaF(isDark(palette) ? 0.12f : 0.07f);
    auto* tile = new QLabel;
    tile->setFixedSize(30, 30);
    tile->setAlignment(Qt::AlignCenter);
    tile->setStyleSheet(QStringLiteral("background: rgba(%1, %2, %3, %4); border-radius: 8px;")
                            .arg(fill.red())
                            .arg(fill.green())
                            .arg(fill.blue())
                            .arg(fill.alphaF()));
    tile->setPixmap(glyphPixmap(isGoogle ? Glyph::envelopeFill : Glyph::envelopeBadgeFill,
                                isGoogle ? redColour(palette) : blueColour(palette), 18, ratio));
    return tile;
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
    const QString email = QString::fromStdString(account.email);
    const QString providerName = QString::fromUtf8(loftwing::displayName(account.provider).data());
    const QPalette colours = palette();
    setAccessibleName(email);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 9, 8, 9);
    layout->setSpacing(11);
    layout->addWidget(providerTile(account.provider, colours, devicePixelRatioF()), 0,
                      Qt::AlignVCenter);

    auto* text = new QVBoxLayout;
    text->setSpacing(1);
    auto* address = new QLabel(email);
    address->setObjectName(QStringLiteral("email"));
    QFont medium = address->font();
    medium.setWeight(QFont::Medium);
    address->setFont(medium);
    address->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->addWidget(address);
    text->addWidget(caption(providerName, secondaryColour(colours), "provider"));
    text->addWidget(caption(
        statusText(check),
        statusIsWarning(check) ? orangeColour(colours) : secondaryColour(colours), "status"));
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

    auto* actions = new QToolButton;
    actions->setObjectName(QStringLiteral("accountActions"));
    actions->setAutoRaise(true);
    actions->setFocusPolicy(Qt::StrongFocus);
    actions->setIcon(glyphIcon(Glyph::ellipsisCircle, secondaryColour(colours), 18));
    actions->setIconSize(QSize(18, 18));
    actions->setPopupMode(QToolButton::InstantPopup);
    actions->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    actions->setAccessibleName(QStringLiteral("Account actions for ") + email);
    actions->setToolTip(actions->accessibleName());
    auto* menu = new QMenu(actions);
    menu->setAccessibleName(actions->accessibleName());
    // Destructive: the red bin says so before the click.
    QObject::connect(menu->addAction(glyphIcon(Glyph::trash, redColour(colours)),
                                     QStringLiteral("Remove account")),
                     &QAction::triggered, this, std::move(remove));
    actions->setMenu(menu);
    layout->addWidget(actions, 0, Qt::AlignVCenter);
}

}  // namespace zevirudi
