#include "bundle/AppBundle.h"

#include "chrome/ChromeIntegration.h"
#include "records/Errors.h"
#include "support/LogSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>

namespace zevirudi {

namespace {

constexpr std::string_view logCategory = "configuration";

// Why a user configuration file may not be trusted, or nothing when it may.
std::optional<std::string_view> untrustedBecause(const struct stat& status) {
    if (!S_ISREG(status.st_mode)) {
        return "is not a regular file";
    }
    if (status.st_uid != ::geteuid()) {
        return "is owned by another user";
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "is writable by others";
    }
    return std::nullopt;
}

void logIgnored(std::string_view reason) {
    loftwing::logMessage(loftwing::LogLevel::warning, logCategory,
                         "ignored the user's OAuthConfig.json, which " + std::string(reason) +
                             "; using the bundled one");
}

[[noreturn]] void throwReadFailure(int error) {
    throw std::system_error(error, std::generic_category(), "Reading the user's OAuthConfig.json");
}

class OpenFile {
  public:
    explicit OpenFile(int descriptor) : descriptor_(descriptor) {}
    ~OpenFile() { ::close(descriptor_); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int descriptor() const { return descriptor_; }

  private:
    int descriptor_;
};

// The bytes of the person's own file, or nothing when there is none or it cannot be trusted.
// Judged once before opening (no blocking open of a pipe, no error for someone else's unreadable
// file) and again on the opened file, which may have been swapped in between.
std::optional<std::string> readUserFile(const std::filesystem::path& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return std::nullopt;
        }
        throwReadFailure(errno);
    }
    if (const auto reason = untrustedBecause(status)) {
        logIgnored(*reason);
        return std::nullopt;
    }
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (descriptor < 0) {
        throwReadFailure(errno);
    }
    const OpenFile file(descriptor);
    if (::fstat(file.descriptor(), &status) != 0) {
        throwReadFailure(errno);
    }
    if (const auto reason = untrustedBecause(status)) {
        logIgnored(*reason);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[8192];
    for (;;) {
        const auto count = ::read(file.descriptor(), buffer, sizeof buffer);
        if (count == 0) {
            return bytes;
        }
        if (count > 0) {
            bytes.append(buffer, static_cast<std::size_t>(count));
        } else if (errno != EINTR) {
            throwReadFailure(errno);
        }
    }
}

}  // namespace

std::filesystem::path executablePath() {
    return std::filesystem::read_symlink("/proc/self/exe");
}

std::filesystem::path resourceDirectory() {
    return executablePath().parent_path().parent_path() / "share" / "zevirudi";
}

std::filesystem::path moduleDirectory() {
    return executablePath().parent_path().parent_path() / "lib" / "zevirudi";
}

loftwing::LoftwingAppConfiguration loadConfiguration(const std::filesystem::path& resources) {
    const auto file = resources / "OAuthConfig.json";
    std::error_code statusError;
    if (std::filesystem::status(file, statusError).type() ==
        std::filesystem::file_type::not_found) {
        throw loftwing::LoftwingMultiError::itemNotFound();
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw std::system_error(errno, std::generic_category(), "Opening OAuthConfig.json");
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        throw std::system_error(EIO, std::generic_category(), "Reading OAuthConfig.json");
    }
    return loftwing::decodeAppConfiguration(bytes);
}

loftwing::LoftwingAppConfiguration loadConfiguration(const std::filesystem::path& configHome,
                                                     const std::filesystem::path& resources) {
    const auto userBytes = readUserFile(configHome / "zevirudi" / "OAuthConfig.json");
    if (!userBytes) {
        return loadConfiguration(resources);
    }
    try {
        return loftwing::decodeAppConfiguration(*userBytes);
    } catch (const loftwing::JsonDecodingError&) {
        loftwing::logMessage(loftwing::LogLevel::error, logCategory,
                             "the user's OAuthConfig.json does not decode");
        throw;
    }
}

loftwing::LoftwingAppConfiguration loadBundledConfiguration() {
    return loadConfiguration(ChromeIntegration::userConfigHome(), resourceDirectory());
}

}  // namespace zevirudi
