// Start of the desktop application to the first painted frame of its window, beside a bare Qt
// Widgets program showing one empty window of the same size (bench/BareWindowFloor.cpp), runs
// interleaved under one private Xvfb; and the application's peak resident memory once it has
// prepared three accounts. Run it against a throw-away keyring:
//
//   tests/helpers/run-with-private-keyring build/bin/desktop_first_frame_bench [runs]
//
// The measured process is this program started again with --app: the application's own start
// path (single instance, view model over the real keyring and transport, update settings, the
// window) with a watch for the window's first paint; it prints "painted", then, after preparing,
// "peak-rss KiB".

#include "desktop/DesktopServices.h"
#include "desktop/DesktopWindow.h"
#include "desktop/SingleInstance.h"
#include "helpers/Process.h"
#include "helpers/XvfbServer.h"
#include "storage/ConfiguredAccountStore.h"
#include "storage/KeychainAccountStore.h"
#include "storage/SecretServiceKeychainStore.h"
#include "support/Time.h"
#include "ui/AccountManagerViewModel.h"

#include "bundle/AppBundle.h"

#include <QApplication>
#include <QSettings>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Prints "painted" once the watched widget's first paint has been handled.
class FirstPaint : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted) {
            painted = true;
            QMetaObject::invokeMethod(
                this,
                [] {
                    std::puts("painted");
                    std::fflush(stdout);
                },
                Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }
    bool painted = false;
};

int runApplication(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("com.loftwing.multi"));
    QApplication::setApplicationName(QStringLiteral("Zevirudi"));
    zevirudi::SingleInstance instance;
    instance.start({});
    zevirudi::AccountManagerViewModel viewModel(zevirudi::makeDesktopServices);
    const auto info = zevirudi::BundleInfo::read(zevirudi::resourceDirectory() / "Info.json");
    zevirudi::AppUpdates updates(info, zevirudi::deferredCurlTransport());
    QSettings settings;
    zevirudi::DesktopWindow window(viewModel, updates, settings, info);
    FirstPaint watch;
    window.installEventFilter(&watch);
    QObject::connect(&viewModel, &zevirudi::AccountManagerViewModel::hasPreparedChanged, [&] {
        QMetaObject::invokeMethod(
            &application,
            [] {
                rusage usage{};
                getrusage(RUSAGE_SELF, &usage);
                std::printf("peak-rss %ld\n", usage.ru_maxrss);
                std::fflush(stdout);
                QApplication::quit();
            },
            Qt::QueuedConnection);
    });
    window.show();
    return QApplication::exec();
}

void seedThreeAccounts() {
    loftwing::KeychainAccountStore store(std::make_shared<loftwing::SecretServiceKeychainStore>(
        loftwing::accountsKeychainService, std::nullopt));
    const auto expires = loftwing::currentTime() + std::chrono::hours(1);
    const struct {
        const char* id;
        loftwing::MailProvider provider;
        const char* email;
    } accounts[] = {{"google:1", loftwing::MailProvider::google, "ann@example.com"},
                    {"google:2", loftwing::MailProvider::google, "carol@example.org"},
                    {"microsoft:3", loftwing::MailProvider::microsoft, "bob@outlook.example"}};
    for (const auto& account : accounts) {
        store.save({{account.id, account.provider, account.email, std::nullopt},
                    {"access-token", "refresh-token", expires, std::nullopt}});
    }
}

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Milliseconds from starting the program to its "painted" line.
double firstFrame(const std::vector<std::string>& argv, std::string* rss = nullptr) {
    const auto start = Clock::now();
    loftwing::test::Process child(argv);
    const auto line = child.readLine(20s);
    const auto elapsed = Clock::now() - start;
    if (line != "painted") {
        std::fprintf(stderr, "%s did not paint\n", argv[0].c_str());
        std::exit(1);
    }
    if (rss) {
        *rss = child.readLine(30s).value_or("");
    }
    child.signal(SIGTERM);
    child.wait(10s);
    return milliseconds(elapsed);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--app") {
        return runApplication(argc, argv);
    }
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    loftwing::test::XvfbServer server("1920x1080x24");
    setenv("DISPLAY", server.display().c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    unsetenv("WAYLAND_DISPLAY");
    seedThreeAccounts();

    const std::string self = zevirudi::executablePath().string();
    const std::string floor =
        (zevirudi::executablePath().parent_path() / "bare_window_floor").string();
    std::vector<double> appMs;
    std::vector<double> floorMs;
    long peakKb = 0;
    for (int run = 0; run < runs; ++run) {
        std::string rss;
        appMs.push_back(firstFrame({self, "--app"}, &rss));
        if (rss.rfind("peak-rss ", 0) == 0) {
            peakKb = std::max(peakKb, std::stol(rss.substr(9)));
        }
        floorMs.push_back(firstFrame({floor}));
    }
    std::printf("runs: %d\n", runs);
    std::printf("desktop app start to first painted frame: median %.1f ms\n", median(appMs));
    std::printf("bare Qt window start to first painted frame: median %.1f ms\n", median(floorMs));
    std::printf("ratio (medians): %.2f\n", median(appMs) / median(floorMs));
    std::printf("peak RSS after preparing three accounts: %.1f MB\n",
                static_cast<double>(peakKb) / 1024.0);
    return 0;
}
