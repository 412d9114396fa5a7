#include "support/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace loftwing {

void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, mode_t mode) {
    std::string scratch =
        (target.parent_path() / (target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(scratch.data());
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "create " + scratch);
    }
    const auto fail = [&](const char* step) {
        const int error = errno;
        ::close(fd);
        ::unlink(scratch.c_str());
        throw std::system_error(error, std::generic_category(),
                                std::string(step) + " " + target.filename().string());
    };
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("write");
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        fail("sync");
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(scratch.c_str());
        throw std::system_error(error, std::generic_category(),
                                "close " + target.filename().string());
    }
    if (::rename(scratch.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(scratch.c_str());
        throw std::system_error(error, std::generic_category(),
                                "replace " + target.filename().string());
    }
}

}  // namespace loftwing
