#include "storage/AccountLock.h"

#include "support/LogSink.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace loftwing {
namespace {

// Account ids are the provider's subject; the file name carries a digest of it, not the id.
std::string fileName(std::string_view accountID) {
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256(digest, reinterpret_cast<const unsigned char*>(accountID.data()),
                       accountID.size());
    char hex[2 * 16 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, 16);
    return std::string("account-") + hex + ".lock";
}

// A folder that only this user can write, so no one else can hold or swap the lock files.
bool usableDirectory(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::getuid() && (status.st_mode & 0077) == 0;
}

void logUnlocked(const char* step) {
    const std::string message = std::string("account lock unavailable (") + step + ", errno " +
                                std::to_string(errno) +
                                "); refreshing without the cross-process lock";
    logMessage(LogLevel::warning, "accounts", message);
}

}  // namespace

std::string AccountLock::directory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::string(runtime) + "/zevirudi";
    }
    return "/tmp/zevirudi-" + std::to_string(::getuid());
}

AccountLock::AccountLock(std::string_view accountID) {
    const std::string folder = directory();
    if (!usableDirectory(folder)) {
        logUnlocked("folder");
        return;
    }
    const std::string path = folder + "/" + fileName(accountID);
    descriptor_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor_ < 0) {
        logUnlocked("open");
        return;
    }
    while (::flock(descriptor_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            logUnlocked("flock");
            ::close(descriptor_);
            descriptor_ = -1;
            return;
        }
    }
}

AccountLock::~AccountLock() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);  // releases the flock
    }
}

}  // namespace loftwing
