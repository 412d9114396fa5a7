// The window follows the desktop's dark preference from the settings portal: a stand-in portal on a
// private session bus (the test runs under dbus-run-session) answers Read and announces changes.

#include "ui/DesktopColourScheme.h"

#include "helpers/QtTestApplication.h"

#include <QDBusConnection>
#include <QDBusVariant>
#include <QStyle>
#include <QStyleFactory>
#include <QTest>

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

class StandInPortal : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Settings")
  public:
    uint scheme = 1;

  public slots:
    QDBusVariant Read(const QString& group, const QString& key) {
        return group == QStringLiteral("org.freedesktop.appearance") &&
                       key == QStringLiteral("color-scheme")
                   ? QDBusVariant(QVariant::fromValue(QDBusVariant(scheme)))
                   : QDBusVariant(QVariant());
    }

  signals:
    void SettingChanged(const QString& group, const QString& key, const QDBusVariant& value);
};

bool windowIsDark() {
    return QApplication::palette().color(QPalette::Window).lightness() < 128;
}

TEST(DesktopColourSchemeTest, FusionFollowsThePortalsDarkPreference) {
    loftwing::test::qtTestApplication();
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(QApplication::style()->standardPalette());
    auto portalBus =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("stand-in"));
    ASSERT_TRUE(portalBus.isConnected()) << "run under dbus-run-session";
    StandInPortal portal;
    ASSERT_TRUE(portalBus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &portal,
                                         QDBusConnection::ExportAllContents));
    ASSERT_TRUE(portalBus.registerService(QStringLiteral("org.freedesktop.portal.Desktop")));

    DesktopColourScheme follower;
    EXPECT_TRUE(QTest::qWaitFor(windowIsDark)) << "dark at start, from Read";

    const struct {
        const char* name;
        uint scheme;
        bool dark;
    } changes[] = {
        {"prefer light", 2, false}, {"prefer dark", 1, true}, {"no preference", 0, false}};
    for (const auto& change : changes) {
        SCOPED_TRACE(change.name);
        emit portal.SettingChanged(QStringLiteral("org.freedesktop.appearance"),
                                   QStringLiteral("color-scheme"),
                                   QDBusVariant(QVariant::fromValue(change.scheme)));
        EXPECT_TRUE(QTest::qWaitFor([&] { return windowIsDark() == change.dark; }));
    }
}

}  // namespace
}  // namespace zevirudi

#include "DesktopColourSchemeTest.moc"
