#include "bundle/AppBundle.h"

#include "records/Errors.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace zevirudi {
namespace {

using loftwing::JsonDecodingError;
using loftwing::LoftwingMultiError;

const char* const configurationFile = R"({
  "extensionID": "kbmkjfgkcnoefmnnplpkapgdkgpbbcpd",
  "extensionInstallURL": "https://chromewebstore.google.com/detail/zevirudi/kbmkjfgkcnoefmnnplpkapgdkgpbbcpd",
  "keychainAccessGroup": null,
  "unknownKey": [1, 2],
  "google": {"clientID": "g", "redirectURI": "com.loftwing.multi:/oauth2redirect",
             "authorizationEndpoint": "https://accounts.google.com/o/oauth2/v2/auth",
             "tokenEndpoint": "https://oauth2.googleapis.com/token",
             "scopes": ["https://www.googleapis.com/auth/gmail.readonly"]},
  "microsoft": {"clientID": "m", "redirectURI": "com.loftwing.multi:/oauth2redirect",
             "authorizationEndpoint": "http://127.0.0.1:47613/microsoft/oauth/authorize",
             "tokenEndpoint": "http://127.0.0.1:47613/microsoft/oauth/token",
             "scopes": ["offline_access", "Mail.Read"],
             "apiBaseURL": "http://127.0.0.1:47613", "profileURL": "http://127.0.0.1:47613/v1.0/me"}
})";

class TemporaryDirectory {
  public:
    TemporaryDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "oauth-config-XXXXXX");
        path_ = ::mkdtemp(pattern.data());
    }
    ~TemporaryDirectory() { std::filesystem::remove_all(path_); }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

TEST(AppBundle, LoadsTheConfigurationFromTheResourceFolder) {
    const TemporaryDirectory folder;
    EXPECT_THROW(
        {
            try {
                loadConfiguration(folder.path());
            } catch (const LoftwingMultiError& error) {
                EXPECT_EQ(error, LoftwingMultiError::itemNotFound());
                throw;
            }
        },
        LoftwingMultiError);

    std::ofstream(folder.path() / "OAuthConfig.json") << "{not json";
    EXPECT_THROW(loadConfiguration(folder.path()), JsonDecodingError);

    std::ofstream(folder.path() / "OAuthConfig.json") << configurationFile;
    EXPECT_EQ(loadConfiguration(folder.path()),
              loftwing::decodeAppConfiguration(configurationFile));
}

TEST(AppBundle, ResourcesSitBesideTheRealExecutable) {
    // Test executables live in <build>/bin like zevirudi, so their resources are
    // <build>/share/zevirudi whatever the environment says.
    const auto executable = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(resourceDirectory(), executable.parent_path().parent_path() / "share" / "zevirudi");
    if (const char* build = std::getenv("ZEVIRUDI_BUILD_DIR")) {
        EXPECT_EQ(
            std::filesystem::weakly_canonical(resourceDirectory()),
            std::filesystem::weakly_canonical(std::filesystem::path(build) / "share" / "zevirudi"));
    }
}

}  // namespace
}  // namespace zevirudi
