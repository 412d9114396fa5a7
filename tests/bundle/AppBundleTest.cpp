#include "bundle/AppBundle.h"

#include "helpers/ThrownError.h"
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
using loftwing::test::thrownError;

// The file's decoding has tests of its own; here it only has to arrive whole.
const char* const configurationFile =
    R"({"extensionID": "e", "extensionInstallURL": "u",
        "google": {"clientID": "g", "redirectURI": "r:/", "authorizationEndpoint": "https://a",
                   "tokenEndpoint": "https://t", "scopes": ["s"]},
        "microsoft": {"clientID": "m", "redirectURI": "r:/", "authorizationEndpoint": "https://a",
                      "tokenEndpoint": "https://t", "scopes": [], "apiBaseURL": "http://b"}})";

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
    EXPECT_EQ(thrownError<LoftwingMultiError>([&] { loadConfiguration(folder.path()); }),
              LoftwingMultiError::itemNotFound());

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
