#pragma once

#include <QApplication>
#include <QDir>
#include <QString>

#include <cstdlib>

namespace loftwing::test {

// The one QApplication of a widget test executable, created on first use. It is never destroyed:
// destroying it from a static destructor would run after Qt's own globals are gone.
inline QApplication& qtTestApplication() {
    static int argumentCount = 1;
    static char programName[] = "zevirudi-tests";
    static char* arguments[] = {programName, nullptr};
    static QApplication* application = new QApplication(argumentCount, arguments);
    return *application;
}

// Screenshots land in the build folder so that a person can look at them after a run.
inline QString screenshotPath(const QString& name) {
    const char* buildDirectory = std::getenv("ZEVIRUDI_BUILD_DIR");
    QDir directory(QString::fromUtf8(buildDirectory != nullptr ? buildDirectory : "."));
    directory.mkpath(QStringLiteral("screenshots"));
    return directory.filePath(QStringLiteral("screenshots/%1.png").arg(name));
}

}  // namespace loftwing::test
