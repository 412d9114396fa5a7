#include "chrome/ChromeIntegration.h"

#include "helpers/ThrownError.h"
#include "oauth/AppConfiguration.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace zevirudi {
namespace {

using loftwing::test::thrownError;

namespace fs = std::filesystem;

class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = (fs::temp_directory_path() / "chrome-integration-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TemporaryFolder() { fs::remove_all(path); }
    fs::path path;
};

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

loftwing::LoftwingAppConfiguration configuration(std::string extensionID) {
    loftwing::LoftwingAppConfiguration result;
    result.extensionID = std::move(extensionID);
    return result;
}

TEST(ChromeIntegration, WritesTheManifestForChromeAndChromium) {
    TemporaryFolder home;
    const auto configHome = home.path / "missing" / ".config";  // parents are created
    ChromeIntegration integration(configHome, "/opt/zevirudi/bin/zevirudi", home.path / "share");

    const auto state = integration.installNativeHost(configuration("abc"));
    EXPECT_EQ(state.nativeHostManifestURL,
              configHome / "google-chrome" / "NativeMessagingHosts" / "com.loftwing.multi.json");
    EXPECT_FALSE(state.extensionFolderURL);

    const std::string expected =
        "{\n"
        "  \"allowed_origins\" : [\n"
        "    \"chrome-extension:\\/\\/abc\\/\"\n"
        "  ],\n"
        "  \"description\" : \"Zevirudi local mail connection\",\n"
        "  \"name\" : \"com.loftwing.multi\",\n"
        "  \"path\" : \"\\/opt\\/zevirudi\\/bin\\/zevirudi\",\n"
        "  \"type\" : \"stdio\"\n"
        "}";
    for (const char* browser : {"google-chrome", "chromium"}) {
        SCOPED_TRACE(browser);
        const auto file = configHome / browser / "NativeMessagingHosts" / "com.loftwing.multi.json";
        EXPECT_EQ(contents(file), expected);
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0644U);
    }

    // A second run gives the same manifest and leaves no scratch files behind.
    EXPECT_EQ(integration.installNativeHost(configuration("abc")), state);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator(configHome / "chromium" / "NativeMessagingHosts")) {
        ++files;
    }
    EXPECT_EQ(files, 1U);
}

TEST(ChromeIntegration, FindsTheExtensionFolderOnlyWithItsManifest) {
    TemporaryFolder home;
    const auto resources = home.path / "share" / "zevirudi";
    const auto extension = resources / ChromeIntegration::extensionFolderName;
    fs::create_directories(extension);
    ChromeIntegration integration(home.path / ".config", "/usr/bin/zevirudi", resources);

    EXPECT_FALSE(integration.installNativeHost(configuration("abc")).extensionFolderURL);
    std::ofstream(extension / "manifest.json") << "{}";
    EXPECT_EQ(integration.installNativeHost(configuration("abc")).extensionFolderURL, extension);
}

TEST(ChromeIntegration, FailuresLeaveTheEarlierManifest) {
    TemporaryFolder home;
    const auto configHome = home.path / ".config";
    ChromeIntegration integration(configHome, "/usr/bin/zevirudi", home.path);
    integration.installNativeHost(configuration("first"));
    const auto chromeFolder = configHome / "google-chrome" / "NativeMessagingHosts";
    const auto before = contents(chromeFolder / "com.loftwing.multi.json");

    if (::geteuid() != 0) {  // root writes into read-only folders anyway
        fs::permissions(chromeFolder, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_ANY_THROW(integration.installNativeHost(configuration("second")));
        fs::permissions(chromeFolder, fs::perms::owner_all);
        EXPECT_EQ(contents(chromeFolder / "com.loftwing.multi.json"), before);
    }

    // A folder that cannot be created: a file stands where it should be.
    const auto blocked = home.path / "blocked";
    std::ofstream(blocked) << "not a folder";
    ChromeIntegration blockedIntegration(blocked, "/usr/bin/zevirudi", home.path);
    EXPECT_THROW(blockedIntegration.installNativeHost(configuration("abc")), fs::filesystem_error);

    ChromeIntegration withoutExecutable(configHome, {}, home.path);
    EXPECT_EQ(thrownError<loftwing::LoftwingMultiError>(
                  [&] { withoutExecutable.installNativeHost(configuration("abc")); }),
              loftwing::LoftwingMultiError::itemNotFound());
}

TEST(ChromeIntegration, UserConfigHomeFollowsXdgThenHome) {
    const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::string xdg = savedXdg ? savedXdg : "";
    const std::string homeValue = savedHome ? savedHome : "";

    ::setenv("XDG_CONFIG_HOME", "/tmp/xdg-config", 1);
    EXPECT_EQ(ChromeIntegration::userConfigHome(), fs::path("/tmp/xdg-config"));
    ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    ::setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(ChromeIntegration::userConfigHome(), fs::path("/home/someone/.config"));

    savedXdg ? ::setenv("XDG_CONFIG_HOME", xdg.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
    savedHome ? ::setenv("HOME", homeValue.c_str(), 1) : ::unsetenv("HOME");
}

}  // namespace
}  // namespace zevirudi
