#include "host/NativeHostProcess.h"

#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]).starts_with("chrome-extension://")) {
        return zevirudi::runNativeHost(argv[1]);
    }
    std::fputs(
        "usage: zevirudi chrome-extension://EXTENSION-ID/ (started by Chrome as a native messaging "
        "host; the desktop application is not part of this build yet)\n",
        stderr);
    return 0;
}
