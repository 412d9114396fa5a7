#include "host/PanelLauncher.h"

#include "bundle/AppBundle.h"
#include "notch/module/NotificationModule.h"
#include "support/LogSink.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace zevirudi {
namespace {

using loftwing::LogLevel;

void logPanel(LogLevel level, const std::string& message) {
    loftwing::logMessage(level, "panel", message);
}

bool hasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && x11[0] != '\0') || (wayland && wayland[0] != '\0');
}

// Standard streams to /dev/null and every other descriptor closed, so the browser sees the end
// of the host's output and nothing of the host's stays open in the panel's processes. The system
// log's socket is among them: it is closed first, so that a later descriptor of the same number is
// never taken for it, and opened again on the next message.
void detachStreams() {
    ::closelog();
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
    } else {
        ::close(STDIN_FILENO);
        ::close(STDOUT_FILENO);
        ::close(STDERR_FILENO);
    }
    ::close_range(3, ~0U, 0);
    ::openlog(loftwing::SyslogSink::ident, LOG_PID, LOG_USER);
}

// Loads the panel module and shows the notifications. Runs in the panel's own process.
[[noreturn]] void runPanels(const loftwing::LinkNotificationPayload* link,
                            const loftwing::CodeNotificationPayload* code) {
    // The process holds the code it shows: a crash must not write it into a core file.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    std::string module;
    try {
        module = (moduleDirectory() / notificationModuleFileName).string();
    } catch (...) {
        logPanel(LogLevel::error, "the module folder could not be found");
        ::_exit(1);
    }
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        logPanel(LogLevel::error, "the panel module could not be loaded");
        ::_exit(1);
    }
    auto* show =
        reinterpret_cast<ShowNotificationsFunction>(::dlsym(handle, showNotificationsSymbol));
    if (!show) {
        logPanel(LogLevel::error, "the panel module has no entry point");
        ::_exit(1);
    }
    // The toolkit's atexit handlers must not run in a process forked from the host.
    ::_exit(show(link, code));
}

// Starts the panel's process and waits for it, so that a panel that ends badly (a crash, an
// abort inside the toolkit, a failing status) leaves a line in the log.
[[noreturn]] void watchPanels(const loftwing::LinkNotificationPayload* link,
                              const loftwing::CodeNotificationPayload* code) {
    detachStreams();
    const pid_t panel = ::fork();
    if (panel < 0) {
        logPanel(LogLevel::error, "the panel process could not be started (fork failed)");
        ::_exit(0);
    }
    if (panel == 0) {
        runPanels(link, code);
    }
    int status = 0;
    while (::waitpid(panel, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status)) {
        logPanel(LogLevel::error,
                 "the panel process ended on signal " + std::to_string(WTERMSIG(status)));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        logPanel(LogLevel::error,
                 "the panel process ended with status " + std::to_string(WEXITSTATUS(status)));
    }
    ::_exit(0);
}

}  // namespace

void launchNotificationPanels(const std::optional<loftwing::LinkNotificationPayload>& link,
                              const std::optional<loftwing::CodeNotificationPayload>& code) {
    if (!link && !code) {
        return;
    }
    if (!hasDisplay()) {
        logPanel(LogLevel::warning, "no display to show the notification on");
        return;
    }
    // Fork twice: the middle process starts a new session and exits, so the watcher and the
    // panel belong to no terminal, no process group of the browser's and are not our children.
    const pid_t middle = ::fork();
    if (middle < 0) {
        logPanel(LogLevel::error, "the panel process could not be started (fork failed)");
        return;
    }
    if (middle == 0) {
        ::setsid();
        const pid_t watcher = ::fork();
        if (watcher < 0) {
            logPanel(LogLevel::error, "the panel process could not be started (fork failed)");
        } else if (watcher == 0) {
            watchPanels(link ? &*link : nullptr, code ? &*code : nullptr);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace zevirudi
