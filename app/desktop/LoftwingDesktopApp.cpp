#include "desktop/LoftwingDesktopApp.h"

#include "desktop/DesktopServices.h"
#include "desktop/DesktopWindow.h"
#include "desktop/SingleInstance.h"
#include "ui/AccountManagerViewModel.h"
#include "ui/AppUpdates.h"
#include "ui/Glyphs.h"

#include "bundle/AppBundle.h"
#include "support/LogSink.h"

#include <QApplication>
#include <QSettings>

#include <cstdio>
#include <cstdlib>

namespace zevirudi {
namespace {

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0') {
            return true;
        }
    }
    return false;
}

QIcon applicationIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(brandTile(size));
    }
    return icon;
}

// Every argument after the program's path: the desktop passes the redirect URL this way.
QStringList urlArguments(const QStringList& arguments) {
    QStringList urls;
    for (qsizetype index = 1; index < arguments.size(); ++index) {
        if (arguments[index].contains(QLatin1Char(':'))) {
            urls.append(arguments[index]);
        }
    }
    return urls;
}

}  // namespace

LoftwingDesktopApp::URLHandler& LoftwingDesktopApp::openURLsHandler() {
    static URLHandler handler;
    return handler;
}

int LoftwingDesktopApp::run(int argc, char** argv) {
    if (!hasDisplay()) {
        // Like every other path of the program's entry, this ends with status 0; the reason is
        // on standard error for the person who started it from a terminal.
        std::fputs(
            "zevirudi: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are unset)\n",
            stderr);
        return 0;
    }
    loftwing::setLogSink(std::make_shared<loftwing::SyslogSink>());
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("com.loftwing.multi"));
    QApplication::setApplicationName(QStringLiteral("Zevirudi"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zevirudi"));
    QApplication::setDesktopFileName(QStringLiteral("zevirudi"));
    QApplication::setWindowIcon(applicationIcon());

    const QStringList urls = urlArguments(QApplication::arguments());
    SingleInstance instance;
    if (instance.start(urls) == SingleInstance::Role::forwarded) {
        return 0;
    }

    AccountManagerViewModel viewModel(makeDesktopServices);
    const auto info = BundleInfo::read(resourceDirectory() / "Info.json");
    AppUpdates updates(info, deferredCurlTransport());
    QSettings settings;

    DesktopWindow window(viewModel, updates, settings, info);

    const auto activate = [&window](const QStringList& opened) {
        if (!opened.isEmpty() && openURLsHandler()) {
            openURLsHandler()(opened);
        }
        window.activate();
    };
    QObject::connect(&instance, &SingleInstance::activationRequested, &window, activate);
    window.show();
    if (!urls.isEmpty()) {
        activate(urls);
    }
    return QApplication::exec();
}

}  // namespace zevirudi
