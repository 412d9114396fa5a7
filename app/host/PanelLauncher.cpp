#include "host/PanelLauncher.h"

#include "bundle/AppBundle.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace zevirudi {
namespace {

bool hasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && x11[0] != '\0') || (wayland && wayland[0] != '\0');
}

// Standard streams to /dev/null and every other descriptor closed, so the browser sees the end
// of the host's output and nothing of the host's stays open in the panel's process.
void detachStreams() {
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
}

[[noreturn]] void runPanels(const loftwing::LinkNotificationPayload* link,
                            const loftwing::CodeNotificationPayload* code) {
    detachStreams();
    std::string module;
    try {
        module = (moduleDirectory() / "libzevirudi-notch.so").string();
    } catch (...) {
        ::_exit(0);
    }
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        ::_exit(0);
    }
    auto* show =
        reinterpret_cast<ShowNotificationsFunction>(::dlsym(handle, showNotificationsSymbol));
    const int status = show ? show(link, code) : 0;
    // The toolkit's atexit handlers must not run in a process forked from the host.
    ::_exit(status);
}

}  // namespace

void launchNotificationPanels(const std::optional<loftwing::LinkNotificationPayload>& link,
                              const std::optional<loftwing::CodeNotificationPayload>& code) {
    if ((!link && !code) || !hasDisplay()) {
        return;
    }
    // Fork twice: the middle process starts a new session and exits, so the panel's process
    // belongs to no terminal, no process group of the browser's and is not our child.
    const pid_t middle = ::fork();
    if (middle < 0) {
        return;
    }
    if (middle == 0) {
        ::setsid();
        const pid_t panel = ::fork();
        if (panel == 0) {
            runPanels(link ? &*link : nullptr, code ? &*code : nullptr);
        }
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace zevirudi
