#include "host/NativeHostProcess.h"

#include "host/NativeHostSession.h"
#include "records/Errors.h"
#include "records/NativeMessageCodec.h"
#include "records/NativeMessages.h"
#include "support/Text.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <system_error>

#include <poll.h>

namespace zevirudi {
namespace {

using loftwing::LoftwingMultiError;

// Waits until the descriptor is ready; a descriptor left non-blocking by whoever started us
// must behave like a blocking one.
void waitUntilReady(int fd, short events) {
    pollfd entry{fd, events, 0};
    while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
}

// Reads up to `count` bytes; 0 only at end of input.
std::size_t readSome(int fd, char* buffer, std::size_t count) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, count);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            waitUntilReady(fd, POLLIN);
        } else if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "read");
        }
    }
}

// Set once a frame has gone to standard output, so that a failure after the session's own
// response never adds a second frame.
std::atomic<bool> responseStarted{false};

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
    // The body grows as bytes arrive instead of being allocated from the announced length: a
    // caller that announces 60 MiB and sends five bytes costs five bytes.
    std::string frame(reinterpret_cast<const char*>(prefix), 4);
    const std::size_t total = 4 + length;
    while (frame.size() < total) {
        const std::size_t have = frame.size();
        const std::size_t chunk = std::min(total - have, std::max<std::size_t>(have, 65'536));
        frame.resize(have + chunk);
        const std::size_t got = readSome(fd, frame.data() + have, chunk);
        frame.resize(have + got);
        if (got == 0) {
            throw LoftwingMultiError::invalidData();
        }
    }
    return frame;
}

void writeResponseFrame(std::string_view frame, int fd) {
    if (fd == STDOUT_FILENO) {
        responseStarted.store(true);
    }
    while (!frame.empty()) {
        const ssize_t written = ::write(fd, frame.data(), frame.size());
        if (written < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                waitUntilReady(fd, POLLOUT);
                continue;
            }
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
        if (!responseStarted.load()) {
            writeErrorResponse(std::current_exception());
        }
    }
    return 0;
}

}  // namespace zevirudi
