#include "ui/DesktopColourScheme.h"

#include "support/LogSink.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QStyle>

namespace zevirudi {
namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearance = QStringLiteral("org.freedesktop.appearance");
const QString colorScheme = QStringLiteral("color-scheme");
constexpr uint preferDark = 1;

// The portal wraps the value in one variant, or in two (older portals answer Read that way).
uint schemeOf(QVariant value) {
    while (value.canConvert<QDBusVariant>()) {
        value = qvariant_cast<QDBusVariant>(value).variant();
    }
    return value.toUInt();
}

bool isFusion() {
    return QApplication::style()->name().compare(QStringLiteral("fusion"), Qt::CaseInsensitive) ==
           0;
}

}  // namespace

QPalette darkDesktopPalette() {
    QPalette palette;
    const QColor window(0x24, 0x24, 0x24);
    const QColor text(0xf2, 0xf2, 0xf2);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, QColor(0x30, 0x30, 0x30));
    palette.setColor(QPalette::AlternateBase, QColor(0x2c, 0x2c, 0x2c));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8c, 0x8c, 0x8c));
    palette.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Light, QColor(0x5a, 0x5a, 0x5a));
    palette.setColor(QPalette::Midlight, QColor(0x48, 0x48, 0x48));
    palette.setColor(QPalette::Mid, QColor(0x33, 0x33, 0x33));
    palette.setColor(QPalette::Dark, QColor(0x1a, 0x1a, 0x1a));
    palette.setColor(QPalette::Shadow, QColor(0x0a, 0x0a, 0x0a));
    palette.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x78, 0xae, 0xed));
    palette.setColor(QPalette::ToolTipBase, window);
    palette.setColor(QPalette::ToolTipText, text);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        palette.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    }
    palette.setColor(QPalette::Disabled, QPalette::Button, QColor(0x2c, 0x2c, 0x2c));
    return palette;
}

DesktopColourScheme::DesktopColourScheme(QObject* parent) : QObject(parent) {
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !isFusion()) {
        return;
    }
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                this, SLOT(settingChanged(QDBusMessage)));
    // Asked without waiting: the window must not stall on a slow or missing portal.
    auto message = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                  QStringLiteral("Read"));
    message << appearance << colorScheme;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, 5'000), this);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                     [this](QDBusPendingCallWatcher* call) {
                         const QDBusPendingReply<QDBusVariant> reply = *call;
                         call->deleteLater();
                         if (reply.isError()) {
                             // No portal: the desktop states no preference.
                             loftwing::logMessage(loftwing::LogLevel::info, "ui",
                                                  "No colour scheme from the settings portal");
                             return;
                         }
                         apply(schemeOf(reply.argumentAt(0)));
                     });
}

void DesktopColourScheme::settingChanged(const QDBusMessage& message) {
    const auto arguments = message.arguments();
    if (arguments.size() == 3 && arguments.at(0).toString() == appearance &&
        arguments.at(1).toString() == colorScheme) {
        apply(schemeOf(arguments.at(2)));
    }
}

void DesktopColourScheme::apply(uint scheme) {
    const bool dark = scheme == preferDark;
    if (dark == appliedDark_ || !isFusion()) {
        return;
    }
    appliedDark_ = dark;
    // Back to light is back to the palette the desktop gave before, not to a fixed one.
    if (dark) {
        lightPalette_ = QApplication::palette();
    }
    QApplication::setPalette(dark ? darkDesktopPalette() : lightPalette_);
}

}  // namespace zevirudi
