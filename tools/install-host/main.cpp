// Installs the native messaging host manifest for the zevirudi executable beside this program,
// using that installation's configuration (the user's own file first). Installed with zevirudi:
// the tests, the demo and a person setting up the browser connection run it.

#include "bundle/AppBundle.h"
#include "chrome/ChromeIntegration.h"
#include "oauth/AppConfiguration.h"
#include "records/Errors.h"

#include <cstdio>
#include <exception>

int main() {
    try {
        const auto executable = zevirudi::executablePath().parent_path() / "zevirudi";
        zevirudi::ChromeIntegration integration(zevirudi::ChromeIntegration::userConfigHome(),
                                                executable, zevirudi::resourceDirectory());
        const auto state = integration.installNativeHost(zevirudi::loadBundledConfiguration());
        std::printf("%s\n", state.nativeHostManifestURL.c_str());
        return 0;
    } catch (const std::exception& error) {
        const auto description = loftwing::userFacingDescription(error);
        std::fprintf(stderr, "The Chrome connection could not be installed. %s\n",
                     description ? description->c_str() : error.what());
        return 1;
    }
}
