#include "host/NativeHostProcess.h"

#include "host/NativeHostAnswer.h"
#include "host/PanelLauncher.h"
#include "records/Errors.h"
#include "records/NativeMessageCodec.h"
#include "support/LogSink.h"

#include <algorithm>
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

bool writeResponseFrame(std::string_view frame, int fd) {
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
            return false;
        }
        frame.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

int runNativeHost(const std::string& callerOrigin) {
    // Chrome may close its end early; a write must then fail, not kill the process.
    std::signal(SIGPIPE, SIG_IGN);
    // Opening the system log connects nothing yet: the socket is made by the first message.
    loftwing::setLogSink(std::make_shared<loftwing::SyslogSink>());
    NativeHostAnswer answer;
    try {
        const auto frame = readNativeHostFrame();
        if (!frame) {
            return 0;
        }
        answer = answerNativeHostFrame(callerOrigin, *frame, productionEnvironment());
    } catch (...) {
        answer.frame = errorFrame(std::current_exception());
    }
    if (!writeResponseFrame(answer.frame)) {
        loftwing::logMessage(loftwing::LogLevel::warning, "host",
                             "the answer could not be written: the reader has gone");
    }
    launchNotificationPanels(answer.linkNotification, answer.codeNotification);
    return 0;
}

}  // namespace zevirudi
