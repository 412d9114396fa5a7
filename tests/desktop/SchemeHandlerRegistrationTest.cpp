// The redirect scheme's registration with the real xdg-mime, in a temporary home.

#include "desktop/SchemeHandlerRegistration.h"

#include "helpers/TemporaryFolder.h"

#include "oauth/AppConfiguration.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zevirudi {
namespace {

namespace fs = std::filesystem;

std::string defaultHandler(const std::string& type) {
    std::string output;
    FILE* pipe = ::popen(("xdg-mime query default " + type).c_str(), "r");
    char buffer[256];
    while (pipe && std::fgets(buffer, sizeof buffer, pipe)) {
        output += buffer;
    }
    if (pipe) {
        ::pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) {
        output.pop_back();
    }
    return output;
}

TEST(SchemeHandlerRegistrationTest, CustomSchemesOnly) {
    // A loopback redirect needs no handler; a scheme is registered once, in lower case.
    loftwing::LoftwingAppConfiguration configuration;
    configuration.google.redirectURI = "http://127.0.0.1/callback";
    configuration.microsoft.redirectURI = "COM.Loftwing.Multi:/oauth2redirect";
    EXPECT_EQ(SchemeHandlerRegistration::customSchemes(configuration),
              std::vector<std::string>{"com.loftwing.multi"});
    configuration.google.redirectURI = "com.loftwing.multi:/oauth2redirect";
    EXPECT_EQ(SchemeHandlerRegistration::customSchemes(configuration),
              std::vector<std::string>{"com.loftwing.multi"});
    configuration.google.redirectURI = "https://example.com/r";
    configuration.microsoft.redirectURI = "http://localhost/r";
    EXPECT_TRUE(SchemeHandlerRegistration::customSchemes(configuration).empty());
}

TEST(SchemeHandlerRegistrationTest, RegistersOnceAndTakesTheSchemeBack) {
    const loftwing::test::TemporaryFolder folder;
    const fs::path& home = folder.path;
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (home / "system").c_str(), 1);
    ::unsetenv("XDG_CURRENT_DESKTOP");
    ::unsetenv("DESKTOP_SESSION");
    const std::string type = "x-scheme-handler/com.loftwing.multi";
    // An installed tree with the packaged entry; xdg-mime passes over an entry whose program
    // does not exist, so the program is there too.
    const fs::path executable = home / "prefix" / "bin" / "zevirudi";
    fs::create_directories(executable.parent_path());
    fs::create_directories(home / "prefix" / "share" / "applications");
    fs::copy_file(fs::path(std::getenv("ZEVIRUDI_SOURCE_DIR")) / "packaging" / "zevirudi.desktop",
                  home / "prefix" / "share" / "applications" / "zevirudi.desktop");
    std::ofstream(executable) << "#!/bin/sh\n";
    fs::permissions(executable, fs::perms::owner_all);
    const SchemeHandlerRegistration registration(home / "data", executable);

    ASSERT_TRUE(registration.ensureRegistered({"com.loftwing.multi"}));
    EXPECT_EQ(defaultHandler(type), "zevirudi.desktop");
    std::ifstream entry(home / "data" / "applications" / "zevirudi.desktop");
    std::stringstream content;
    content << entry.rdbuf();
    EXPECT_NE(content.str().find("\nExec=" + executable.string() + " %u\n"), std::string::npos);
    EXPECT_NE(content.str().find("\nMimeType=x-scheme-handler/com.loftwing.multi;\n"),
              std::string::npos);
    EXPECT_NE(content.str().find("\nName=Zevirudi\n"), std::string::npos);  // the packaged lines
    EXPECT_EQ(content.str().find("Exec=zevirudi"), std::string::npos);

    EXPECT_FALSE(registration.ensureRegistered({"com.loftwing.multi"}));

    // Another application took the scheme: preparing again takes it back.
    std::ofstream(home / "data" / "applications" / "other.desktop")
        << "[Desktop Entry]\nType=Application\nName=Other\nExec=/bin/true %u\nMimeType=" << type
        << ";\n";
    ASSERT_EQ(std::system(("xdg-mime default other.desktop " + type).c_str()), 0);
    ASSERT_EQ(defaultHandler(type), "other.desktop");
    EXPECT_TRUE(registration.ensureRegistered({"com.loftwing.multi"}));
    EXPECT_EQ(defaultHandler(type), "zevirudi.desktop");

    // A build tree's executable, with no packaged entry beside it, gets a plain one.
    EXPECT_TRUE(SchemeHandlerRegistration(home / "data", "/bin/true")
                    .ensureRegistered({"com.loftwing.multi"}));
    EXPECT_EQ(defaultHandler(type), "zevirudi.desktop");
}

}  // namespace
}  // namespace zevirudi
