// The desktop module's one export; see desktop/DesktopEntry.h.

#include "desktop/DesktopEntry.h"
#include "desktop/LoftwingDesktopApp.h"

#include <type_traits>

extern "C" __attribute__((visibility("default"))) int zevirudi_run_desktop(int argc, char** argv) {
    return zevirudi::LoftwingDesktopApp::run(argc, argv);
}

// The module and the executable must agree on the symbol's type.
static_assert(std::is_same_v<decltype(&zevirudi_run_desktop), zevirudi::RunDesktopFunction>);
