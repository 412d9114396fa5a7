#include "bundle/AppBundle.h"

#include "helpers/CapturingLogSink.h"
#include "helpers/TemporaryFolder.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

namespace zevirudi {
namespace {

using loftwing::JsonDecodingError;

// The file's decoding has tests of its own; here it only has to arrive whole.
const char* const configurationFile =
    R"({"extensionID": "e", "extensionInstallURL": "u",
        "google": {"clientID": "g", "redirectURI": "r:/", "authorizationEndpoint": "https://a",
                   "tokenEndpoint": "https://t", "scopes": ["s"]},
        "microsoft": {"clientID": "m", "redirectURI": "r:/", "authorizationEndpoint": "https://a",
                      "tokenEndpoint": "https://t", "scopes": [], "apiBaseURL": "http://b"}})";

TEST(AppBundle, ReadsTheUsersOwnFileOnlyWhenNobodyElseCanHaveWrittenIt) {
    std::string userConfiguration = configurationFile;
    userConfiguration.replace(userConfiguration.find("\"g\""), 3, "\"own\"");
    const auto bundled = loftwing::decodeAppConfiguration(configurationFile);
    const auto own = loftwing::decodeAppConfiguration(userConfiguration);
    using std::filesystem::perms;
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path& file)> place;
        std::optional<loftwing::LoftwingAppConfiguration> expected;  // none: a decoding error
        const char* logged;
    };
    const auto write = [&](const std::filesystem::path& file, const std::string& text, perms mode) {
        std::ofstream(file) << text;
        std::filesystem::permissions(file, mode);
    };
    const Case cases[] = {
        {"absent", [](const auto&) {}, bundled, nullptr},
        {"the user's, readable by all",
         [&](const auto& file) {
             write(file, userConfiguration,
                   perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
         },
         own, nullptr},
        {"malformed", [&](const auto& file) { write(file, "{\"google\": ", perms::owner_all); },
         std::nullopt, "configuration: the user's OAuthConfig.json does not decode"},
        {"writable by others",
         [&](const auto& file) {
             write(file, userConfiguration, perms::owner_all | perms::others_write);
         },
         bundled, "is writable by others"},
        {"writable by the group",
         [&](const auto& file) {
             write(file, userConfiguration, perms::owner_all | perms::group_write);
         },
         bundled, "is writable by others"},
        // As root, a file handed to nobody; as anyone else, a link to a file root owns.
        {"owned by another user",
         [&](const auto& file) {
             if (::geteuid() == 0) {
                 write(file, userConfiguration, perms::owner_read | perms::owner_write);
                 ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
             } else {
                 std::filesystem::create_symlink("/etc/passwd", file);
             }
         },
         bundled, "is owned by another user"},
        {"a folder", [](const auto& file) { std::filesystem::create_directory(file); }, bundled,
         "is not a regular file"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        const loftwing::test::TemporaryFolder configHome;
        const loftwing::test::TemporaryFolder resources;
        std::ofstream(resources.path / "OAuthConfig.json") << configurationFile;
        std::filesystem::create_directory(configHome.path / "zevirudi");
        testCase.place(configHome.path / "zevirudi" / "OAuthConfig.json");
        const auto log = loftwing::test::CapturingLogSink::install();

        if (testCase.expected) {
            EXPECT_EQ(loadConfiguration(configHome.path, resources.path), *testCase.expected);
        } else {
            EXPECT_THROW(loadConfiguration(configHome.path, resources.path), JsonDecodingError);
        }
        const auto lines = log->lines();
        if (testCase.logged) {
            ASSERT_EQ(lines.size(), 1u);
            EXPECT_NE(lines[0].find(testCase.logged), std::string::npos) << lines[0];
        } else {
            EXPECT_TRUE(lines.empty());
        }
        loftwing::setLogSink(nullptr);
    }
}

TEST(AppBundle, InstalledConfigurationLeavesBothProvidersUnconfigured) {
    // The build's resources are what gets installed: until a person brings their own clients,
    // nothing can sign in, and nothing points at a test server.
    const auto configuration = loadConfiguration(resourceDirectory());
    for (const auto* provider : {&configuration.google, &configuration.microsoft}) {
        EXPECT_FALSE(provider->isConfigured());
        EXPECT_EQ(provider->authorizationEndpoint.rfind("https://", 0), 0u);
        EXPECT_EQ(provider->tokenEndpoint.rfind("https://", 0), 0u);
        EXPECT_FALSE(provider->apiBaseURL || provider->profileURL);
    }
    EXPECT_TRUE(loftwing::tokenManagerConfigurations(configuration).empty());
}

}  // namespace
}  // namespace zevirudi
