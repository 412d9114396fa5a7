#include "host/NativeHostProcess.h"

#include "host/NativeHostSession.h"
#include "records/Errors.h"
#include "records/NativeMessageCodec.h"
#include "records/NativeMessages.h"
#include "support/Text.h"

#include <cerrno>
#include <csignal>
#include <system_error>

namespace zevirudi {
namespace {

using loftwing::LoftwingMultiError;

// Reads up to `count` bytes; 0 only at end of input.
std::size_t readSome(int fd, char* buffer, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, count);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "read");
        }
    }
}

}  // namespace

std::optional<std::string> readNativeHostFrame(int fd) {
    unsigned char prefix[4];
    if (readSome(fd, reinterpret_cast<char*>(prefix), 1) == 0) {
        return std::nullopt;
    }
    for (std::size_t have = 1; have < 4;) {
        const std::size_t got = readSome(fd, reinterpret_cast<char*>(prefix) + have, 4 - have);
        if (got == 0) {
            throw LoftwingMultiError::invalidData();
        }
        have += got;
    }
    const std::size_t length = loftwing::NativeMessageCodec::announcedLength(prefix);
    if (length > maximumIncomingFrameBytes) {
        throw LoftwingMultiError::responseTooLarge();
    }
    std::string frame(reinterpret_cast<const char*>(prefix), 4);
    frame.resize(4 + length);
    for (std::size_t have = 0; have < length;) {
        const std::size_t got = readSome(fd, frame.data() + 4 + have, length - have);
        if (got == 0) {
            throw LoftwingMultiError::invalidData();
        }
        have += got;
    }
    return frame;
}

void writeResponseFrame(std::string_view frame, int fd) {
    while (!frame.empty()) {
        const ssize_t written = ::write(fd, frame.data(), frame.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        frame.remove_prefix(static_cast<std::size_t>(written));
    }
}

void writeErrorResponse(std::exception_ptr error, int fd) {
    std::string message = "Zevirudi stopped.";
    try {
        if (error) {
            std::rethrow_exception(error);
        }
    } catch (const std::exception& caught) {
        if (auto description = loftwing::userFacingDescription(caught)) {
            message = std::move(*description);
        }
    } catch (...) {
    }
    loftwing::NativeHostResponse response;
    response.ok = false;
    response.error = loftwing::prefixCharacters(message, 240);
    std::string frame;
    try {
        frame = loftwing::NativeMessageCodec::encode(response);
    } catch (...) {
        return;
    }
    writeResponseFrame(frame, fd);
}

int runNativeHost(const std::string& callerOrigin) {
    // Chrome may close its end early; a write must then fail, not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::optional<std::string> frame;
    try {
        frame = readNativeHostFrame();
    } catch (...) {
        writeErrorResponse(std::current_exception());
        return 0;
    }
    if (!frame) {
        return 0;
    }
    loftwing::NativeHostRequest request;
    try {
        request = loftwing::NativeMessageCodec::decode<loftwing::NativeHostRequest>(*frame);
    } catch (...) {
        writeErrorResponse(std::current_exception());
        return 0;
    }
    try {
        runNativeHostSession(callerOrigin, request);
    } catch (...) {
        writeErrorResponse(std::current_exception());
    }
    return 0;
}

}  // namespace zevirudi
