#include "bundle/AppBundle.h"

#include "records/Errors.h"

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

namespace zevirudi {

std::filesystem::path resourceDirectory() {
    const auto executable = std::filesystem::read_symlink("/proc/self/exe");
    return executable.parent_path().parent_path() / "share" / "zevirudi";
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

loftwing::LoftwingAppConfiguration loadBundledConfiguration() {
    return loadConfiguration(resourceDirectory());
}

}  // namespace zevirudi
