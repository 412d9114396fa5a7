#include "host/NativeHostProcess.h"

#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]).starts_with("chrome-extension://")) {
        return zevirudi::runNativeHost(argv[1]);
    }
    std::fputs(
        "Zevirudi brings sign-in codes from your mailboxes to the browser.\n"
        "The desktop application is not part of this build yet; Chrome starts this program as a "
        "native messaging host with the extension origin as its first argument.\n",
        stderr);
    return 0;
}
