#include "chrome/ChromeIntegration.h"

#include "helpers/TemporaryFolder.h"
#include "oauth/AppConfiguration.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace zevirudi {
namespace {

namespace fs = std::filesystem;

mode_t permissions(const fs::path& path) {
    struct stat status {};
    EXPECT_EQ(::stat(path.c_str(), &status), 0) << path;
    return status.st_mode & 07777;
}

// The folders a browser would make for itself are private to the user whatever the umask; a
// folder that exists already keeps its mode.
TEST(NativeHostFolders, CreatedPrivateWhateverTheUmask) {
    const loftwing::test::TemporaryFolder folder;
    const fs::path& root = folder.path;
    const fs::path existing = root / "existing";
    fs::create_directory(existing);
    ::chmod(existing.c_str(), 0755);
    const fs::path configHome = existing / "missing" / ".config";

    loftwing::LoftwingAppConfiguration configuration;
    configuration.extensionID = "abc";
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{0277}}) {
        SCOPED_TRACE(mask);
        fs::remove_all(existing / "missing");
        const mode_t previous = ::umask(mask);
        ChromeIntegration(configHome, "/opt/zevirudi/bin/zevirudi", root / "share")
            .installNativeHost(configuration);
        ::umask(previous);

        EXPECT_EQ(permissions(existing), 0755u);
        for (const fs::path& made :
             {existing / "missing", configHome, configHome / "google-chrome",
              configHome / "google-chrome" / "NativeMessagingHosts", configHome / "chromium",
              configHome / "chromium" / "NativeMessagingHosts"}) {
            EXPECT_EQ(permissions(made), 0700u) << made;
        }
    }
}

}  // namespace
}  // namespace zevirudi
