#pragma once

#include <QApplication>

namespace zevirudi::testing {

// The one QApplication of a widget test executable, created on first use. It is never destroyed:
// destroying it from a static destructor would run after Qt's own globals are gone.
inline QApplication& qtTestApplication() {
    static int argumentCount = 1;
    static char programName[] = "zevirudi-tests";
    static char* arguments[] = {programName, nullptr};
    static QApplication* application = new QApplication(argumentCount, arguments);
    return *application;
}

}  // namespace zevirudi::testing
