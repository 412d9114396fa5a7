#include "bundle/AppBundle.h"
#include "desktop/DesktopEntry.h"
#include "host/NativeHostProcess.h"

#include <dlfcn.h>

#include <cstdio>
#include <string_view>

namespace {

// The desktop role is a module of its own, so that the native host never maps Qt.
int runDesktop(int argc, char** argv) {
    std::string module;
    try {
        module = (zevirudi::moduleDirectory() / zevirudi::desktopModuleName).string();
    } catch (...) {
        std::fputs("zevirudi: the program's own path cannot be read\n", stderr);
        return 1;
    }
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "zevirudi: the desktop application cannot be loaded: %s\n",
                     ::dlerror());
        return 1;
    }
    auto* run =
        reinterpret_cast<zevirudi::RunDesktopFunction>(::dlsym(handle, zevirudi::runDesktopSymbol));
    if (run == nullptr) {
        std::fprintf(stderr, "zevirudi: %s has no entry point\n", module.c_str());
        return 1;
    }
    return run(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]).starts_with("chrome-extension://")) {
        return zevirudi::runNativeHost(argv[1]);
    }
    return runDesktop(argc, argv);
}
