#include "chrome/ChromeIntegration.h"

#include "oauth/AppConfiguration.h"
#include "records/Errors.h"

#include <boost/json/serialize.hpp>
#include <boost/json/string.hpp>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace zevirudi {
namespace {

// Chrome reads <user-data-dir>/NativeMessagingHosts; these are the default user-data-dirs.
constexpr std::array<const char*, 2> browserFolders{"google-chrome", "chromium"};

// A JSON string as the manifest writes it: slashes escaped, like the other platforms' manifests.
std::string quoted(const std::string& text) {
    const auto json = boost::json::serialize(boost::json::string(text));
    std::string out;
    out.reserve(json.size());
    for (const char c : json) {
        if (c == '/') {
            out += "\\/";
        } else {
            out += c;
        }
    }
    return out;
}

// Browsers keep their profile folders to their user; the folders made here for them are the same
// whatever the umask. Folders that exist already keep their mode.
void createPrivateFolders(const std::filesystem::path& folder) {
    std::filesystem::path partial;
    for (const auto& component : folder) {
        partial /= component;
        const bool made = ::mkdir(partial.c_str(), 0700) == 0;
        if ((made && ::chmod(partial.c_str(), 0700) != 0) || (!made && errno != EEXIST)) {
            throw std::filesystem::filesystem_error(
                "create folder", partial, std::error_code(errno, std::generic_category()));
        }
    }
}

void writeAtomically(const std::filesystem::path& target, const std::string& bytes) {
    std::string scratch =
        (target.parent_path() / (target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(scratch.data());
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "create " + scratch);
    }
    const auto fail = [&](const char* what) {
        const int error = errno;
        ::close(fd);
        ::unlink(scratch.c_str());
        throw std::system_error(error, std::generic_category(), what);
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write manifest");
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, 0644) != 0 || ::fsync(fd) != 0) {
        fail("finish manifest");
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(scratch.c_str());
        throw std::system_error(error, std::generic_category(), "close manifest");
    }
    if (::rename(scratch.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(scratch.c_str());
        throw std::system_error(error, std::generic_category(), "replace manifest");
    }
}

// The manifest, pretty-printed with sorted keys.
std::string manifestJSON(const std::string& executablePath, const std::string& extensionOrigin) {
    return "{\n"
           "  \"allowed_origins\" : [\n"
           "    " +
           quoted(extensionOrigin) +
           "\n"
           "  ],\n"
           "  \"description\" : " +
           quoted("Zevirudi local mail connection") +
           ",\n"
           "  \"name\" : " +
           quoted("com.loftwing.multi") +
           ",\n"
           "  \"path\" : " +
           quoted(executablePath) +
           ",\n"
           "  \"type\" : " +
           quoted("stdio") +
           "\n"
           "}";
}

}  // namespace

ChromeIntegration::ChromeIntegration(std::filesystem::path configHome,
                                     std::filesystem::path executable,
                                     std::filesystem::path resourceFolder)
    : configHome_(std::move(configHome)),
      executable_(std::move(executable)),
      resourceFolder_(std::move(resourceFolder)) {}

std::filesystem::path ChromeIntegration::userConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
        return std::filesystem::path(home) / ".config";
    }
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) {
        return std::filesystem::path(entry->pw_dir) / ".config";
    }
    return std::filesystem::path("/nonexistent/.config");
}

ChromeIntegrationState ChromeIntegration::installNativeHost(
    const loftwing::LoftwingAppConfiguration& configuration) {
    const std::lock_guard lock(mutex_);
    if (executable_.empty()) {
        throw loftwing::LoftwingMultiError::itemNotFound();
    }
    const auto manifest = manifestJSON(executable_.string(), configuration.extensionOrigin());
    std::filesystem::path chromeManifest;
    for (const char* browser : browserFolders) {
        const auto folder = configHome_ / browser / "NativeMessagingHosts";
        createPrivateFolders(folder);
        const auto target = folder / manifestFileName;
        writeAtomically(target, manifest);
        if (chromeManifest.empty()) {
            chromeManifest = target;
        }
    }
    std::optional<std::filesystem::path> extensionFolder;
    if (!resourceFolder_.empty()) {
        const auto candidate = resourceFolder_ / extensionFolderName;
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate / "manifest.json", error)) {
            extensionFolder = candidate;
        }
    }
    return ChromeIntegrationState{chromeManifest, extensionFolder};
}

}  // namespace zevirudi
