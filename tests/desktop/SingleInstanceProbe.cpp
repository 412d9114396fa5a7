// A desktop-role stand-in for the single-instance test: `single_instance_probe SOCKET [URL...]`
// prints "primary" or "forwarded", and as the primary one line per activation ("raise" or the
// URLs separated by spaces) until it is terminated.

#include "desktop/SingleInstance.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    auto arguments = QCoreApplication::arguments();
    zevirudi::SingleInstance instance(arguments.at(1));
    const auto role = instance.start(arguments.mid(2));
    if (role == zevirudi::SingleInstance::Role::forwarded) {
        std::puts("forwarded");
        return 0;
    }
    QObject::connect(&instance, &zevirudi::SingleInstance::activationRequested,
                     [](const QStringList& urls) {
                         std::puts(urls.isEmpty() ? "raise" : qPrintable(urls.join(' ')));
                         std::fflush(stdout);
                     });
    std::puts("primary");
    std::fflush(stdout);
    return QCoreApplication::exec();
}
