#include "chrome/ChromeIntegration.h"

#include "desktop/DesktopWorkspace.h"
#include "helpers/CapturingLogSink.h"
#include "helpers/FakeWorkspace.h"
#include "helpers/TemporaryFolder.h"
#include "helpers/ThrownError.h"
#include "oauth/AppConfiguration.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <vector>

namespace zevirudi {
namespace {

using loftwing::test::TemporaryFolder;
using loftwing::test::thrownError;

namespace fs = std::filesystem;

std::string contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

loftwing::LoftwingAppConfiguration configuration(std::string extensionID) {
    loftwing::LoftwingAppConfiguration result;
    result.extensionID = std::move(extensionID);
    return result;
}

TEST(ChromeIntegration, WritesTheManifestForEachBrowserSetUp) {
    struct Row {
        const char* name;
        std::vector<std::string> existing;  // browsers that have run (their folder exists)
        std::vector<std::string> written;   // NativeMessagingHosts manifests expected
        std::string reported;
    };
    const std::vector<std::string> both = {"google-chrome", "chromium"};
    const Row rows[] = {
        {"a fresh account: Chrome and Chromium", {}, both, "google-chrome"},
        {"Chromium only", {"chromium"}, both, "chromium"},
        {"every browser",
         {"google-chrome", "BraveSoftware/Brave-Browser", "microsoft-edge", "vivaldi"},
         {"google-chrome", "chromium", "BraveSoftware/Brave-Browser", "microsoft-edge", "vivaldi"},
         "google-chrome"},
    };
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
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TemporaryFolder home;
        const auto configHome = home.path / "missing" / ".config";  // parents are created
        for (const auto& folder : row.existing) {
            fs::create_directories(configHome / folder);
            std::ofstream(configHome / folder / "Local State") << "{}";
        }
        ChromeIntegration integration(configHome, "/opt/zevirudi/bin/zevirudi", home.path / "share",
                                      home.path);

        const auto state = integration.installNativeHost(configuration("abc"));
        EXPECT_EQ(state.nativeHostManifestURL,
                  configHome / row.reported / "NativeMessagingHosts" / "com.loftwing.multi.json");
        EXPECT_FALSE(state.extensionFolderURL);
        std::vector<std::string> written;
        for (const char* folder : {"google-chrome", "chromium", "BraveSoftware/Brave-Browser",
                                   "microsoft-edge", "vivaldi"}) {
            const auto file =
                configHome / folder / "NativeMessagingHosts" / "com.loftwing.multi.json";
            if (!fs::exists(file)) {
                continue;
            }
            written.emplace_back(folder);
            EXPECT_EQ(contents(file), expected);
            struct stat info {};
            ASSERT_EQ(::stat(file.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 0777, 0644U);
        }
        EXPECT_EQ(written, row.written);

        // A second run gives the same manifest and leaves no scratch files behind.
        EXPECT_EQ(integration.installNativeHost(configuration("abc")), state);
        std::size_t files = 0;
        for ([[maybe_unused]] const auto& entry :
             fs::directory_iterator(configHome / "chromium" / "NativeMessagingHosts")) {
            ++files;
        }
        EXPECT_EQ(files, 1U);
    }
}

TEST(ChromeIntegration, LeavesSandboxedBrowsersToTheReadme) {
    TemporaryFolder home;
    fs::create_directories(home.path / ".var" / "app" / "com.google.Chrome" / "config");
    fs::create_directories(home.path / "snap" / "chromium");
    const auto log = loftwing::test::CapturingLogSink::install();
    ChromeIntegration integration(home.path / ".config", "/usr/bin/zevirudi", home.path, home.path);

    integration.installNativeHost(configuration("abc"));

    EXPECT_EQ(log->lines(),
              (std::vector<std::string>{
                  "chrome: A sandboxed browser cannot start the host: .var/app/com.google.Chrome",
                  "chrome: A sandboxed browser cannot start the host: snap/chromium"}));
    EXPECT_FALSE(fs::exists(home.path / ".var" / "app" / "com.google.Chrome" / "config" /
                            "google-chrome" / "NativeMessagingHosts"));
    loftwing::setLogSink(nullptr);
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

    // Chrome's folder cannot be written: Chromium's manifest is still written and reported.
    const auto chromiumManifest =
        configHome / "chromium" / "NativeMessagingHosts" / "com.loftwing.multi.json";
    if (::geteuid() != 0) {  // root writes into read-only folders anyway
        fs::permissions(chromeFolder, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(integration.installNativeHost(configuration("second")).nativeHostManifestURL,
                  chromiumManifest);
        fs::permissions(chromeFolder, fs::perms::owner_all);
        EXPECT_EQ(contents(chromeFolder / "com.loftwing.multi.json"), before);
        EXPECT_NE(contents(chromiumManifest), before);
    }

    // No folder can be created: a file stands where they should be.
    const auto blocked = home.path / "blocked";
    std::ofstream(blocked) << "not a folder";
    ChromeIntegration blockedIntegration(blocked, "/usr/bin/zevirudi", home.path);
    EXPECT_THROW(blockedIntegration.installNativeHost(configuration("abc")), fs::filesystem_error);

    ChromeIntegration withoutExecutable(configHome, {}, home.path);
    EXPECT_EQ(thrownError<loftwing::LoftwingMultiError>(
                  [&] { withoutExecutable.installNativeHost(configuration("abc")); }),
              loftwing::LoftwingMultiError::itemNotFound());
}

TEST(ChromeIntegration, OpensTheSetupPage) {
    struct Row {
        const char* name;
        std::string installURL;
        bool extensionFolder;
        bool browser;
        bool defaultHandlerOpens;
        std::vector<std::string> inBrowser;  // what the browser was started with ("" = no URL)
        std::vector<std::string> byDefault;  // what the default handler was given
        bool revealed;
        bool itemNotFound;
    };
    const std::string store = "https://chromewebstore.google.com/detail/zevirudi/abc";
    const std::string page = "http://127.0.0.1:47613/_sandbox/extension";
    const Row rows[] = {
        {"Web Store: the folder is never shown",
         store,
         true,
         true,
         true,
         {store},
         {},
         false,
         false},
        {"unpacked: the folder, then the page in Chrome",
         page,
         true,
         true,
         true,
         {page},
         {},
         true,
         false},
        {"unpacked without a folder", page, false, true, true, {page}, {}, false, false},
        {"no browser: the default handler", page, false, false, true, {}, {page}, false, false},
        {"no browser and no handler", page, false, false, false, {}, {page}, false, true},
        {"no browser and no page", "not a url", false, false, true, {}, {}, false, true},
        {"a browser but no page: opened without one",
         "not a url",
         false,
         true,
         true,
         {""},
         {},
         false,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto config = configuration("abc");
        config.extensionInstallURL = row.installURL;
        loftwing::test::FakeWorkspace workspace;
        if (!row.browser) {
            workspace.browser.reset();
        }
        workspace.defaultHandlerOpens = row.defaultHandlerOpens;
        const auto folder =
            row.extensionFolder
                ? std::optional<fs::path>("/usr/share/zevirudi/DuraredeVodozAzerideve")
                : std::nullopt;
        bool notFound = false;
        try {
            ChromeIntegration::openSetupPage(config, folder, workspace);
        } catch (const loftwing::LoftwingMultiError& error) {
            EXPECT_EQ(error, loftwing::LoftwingMultiError::itemNotFound());
            notFound = true;
        }
        EXPECT_EQ(notFound, row.itemNotFound);
        EXPECT_EQ(workspace.opened(), row.inBrowser);
        EXPECT_EQ(workspace.openedByDefault, row.byDefault);
        EXPECT_EQ(workspace.revealed.size(), row.revealed ? 1U : 0U);
    }
}

}  // namespace
}  // namespace zevirudi
