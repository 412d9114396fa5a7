#include "host/NativeHostProcess.h"

#include <malloc.h>

#include <cstdio>
#include <string_view>

int main(int argc, char** argv) {
    // A poll holds provider bodies of up to a few MiB on several threads at once. Left to itself,
    // glibc raises its mmap threshold once such a buffer is freed, and the later ones land in
    // per-thread arenas that keep their pages, so the peak grows with every body (70 MB instead
    // of 40 MB for the largest bodies accepted). A fixed threshold maps each large buffer on its
    // own and returns it when it is freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    if (argc >= 2 && std::string_view(argv[1]).starts_with("chrome-extension://")) {
        return zevirudi::runNativeHost(argv[1]);
    }
    std::fputs(
        "usage: zevirudi chrome-extension://EXTENSION-ID/ (started by Chrome as a native messaging "
        "host; the desktop application is not part of this build yet)\n",
        stderr);
    return 0;
}
