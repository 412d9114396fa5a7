#include "host/NativeHostAnswer.h"
#include "host/NativeHostProcess.h"

#include "helpers/NativeFrames.h"
#include "helpers/ThrownError.h"
#include "records/Errors.h"
#include "records/NativeMessageCodec.h"
#include "records/NativeMessages.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zevirudi {
namespace {

using loftwing::LoftwingMultiError;
using loftwing::test::frameOf;
using loftwing::test::lengthPrefix;
using loftwing::test::thrownError;

// Both ends of a pipe, closed on destruction.
struct Pipe {
    int read = -1;
    int write = -1;

    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            throw std::system_error(errno, std::generic_category(), "pipe2");
        }
        read = fds[0];
        write = fds[1];
    }
    ~Pipe() {
        close(read);
        close(write);
    }
    static void close(int& end) {
        if (end >= 0) {
            ::close(end);
        }
        end = -1;
    }
};

void writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        ASSERT_GT(written, 0);
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
}

std::string readAll(int fd) {
    std::string out;
    char buffer[65536];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                pollfd entry{fd, POLLIN, 0};
                ::poll(&entry, 1, -1);
                continue;
            }
            break;
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
    return out;
}

// Feeds `input` from a thread (a pipe holds only 64 KiB) and reads one frame.
std::optional<std::string> readFrameFrom(const std::string& input, Pipe& pipe) {
    std::jthread writer([&] {
        writeAll(pipe.write, input);
        Pipe::close(pipe.write);
    });
    return readNativeHostFrame(pipe.read);
}

TEST(ReadNativeHostFrame, ReturnsExactlyOneFrame) {
    const std::string body = R"({"type":"status"})";
    struct Row {
        const char* name;
        std::string input;
        std::optional<std::string> frame;
        std::string leftOver;
    };
    const std::vector<Row> rows{
        {"empty body", lengthPrefix(0), lengthPrefix(0), ""},
        {"bytes after the frame stay unread", frameOf(body) + "next", frameOf(body), "next"},
        {"exactly the 64 MiB cap", lengthPrefix(67'108'864) + std::string(67'108'864, 'y'),
         lengthPrefix(67'108'864) + std::string(67'108'864, 'y'), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Pipe pipe;
        EXPECT_EQ(readFrameFrom(row.input, pipe), row.frame);
        EXPECT_EQ(readAll(pipe.read), row.leftOver);
    }
}

TEST(ReadNativeHostFrame, Faults) {
    struct Row {
        const char* name;
        std::string input;
        LoftwingMultiError error;
    };
    const std::vector<Row> rows{
        {"one byte", "\x05", LoftwingMultiError::invalidData()},
        {"body ends early", lengthPrefix(10) + "{}", LoftwingMultiError::invalidData()},
        {"one byte above the cap", lengthPrefix(67'108'865),
         LoftwingMultiError::responseTooLarge()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Pipe pipe;
        EXPECT_EQ(thrownError<LoftwingMultiError>([&] { readFrameFrom(row.input, pipe); }),
                  row.error);
    }
}

TEST(ReadNativeHostFrame, ReadErrorsAreThrownUnchanged) {
    const int directory = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(directory, 0);
    EXPECT_THROW(readNativeHostFrame(directory), std::system_error);
    ::close(directory);
}

TEST(ReadNativeHostFrame, WaitsOnANonBlockingPipe) {
    Pipe pipe;
    ASSERT_EQ(::fcntl(pipe.read, F_SETFL, O_NONBLOCK), 0);
    const auto frame = frameOf(R"({"type":"poll"})");
    std::optional<std::string> read;
    std::jthread reader([&] { read = readNativeHostFrame(pipe.read); });
    writeAll(pipe.write, frame.substr(0, 2));
    writeAll(pipe.write, frame.substr(2));
    reader.join();
    EXPECT_EQ(read, frame);
}

TEST(WriteResponseFrame, SurvivesShortWritesIntoASmallNonBlockingPipe) {
    Pipe pipe;
    ASSERT_GE(::fcntl(pipe.write, F_SETPIPE_SZ, 4096), 0);
    ASSERT_EQ(::fcntl(pipe.write, F_SETFL, O_NONBLOCK), 0);
    std::string frame = lengthPrefix(1'000'000);
    for (int i = 0; i < 1'000'000; ++i) {
        frame += static_cast<char>('a' + i % 26);
    }
    std::string received;
    std::jthread reader([&] { received = readAll(pipe.read); });
    EXPECT_TRUE(writeResponseFrame(frame, pipe.write));
    Pipe::close(pipe.write);
    reader.join();
    EXPECT_EQ(received.size(), frame.size());
    EXPECT_TRUE(received == frame);
}

TEST(WriteResponseFrame, AClosedReaderIsAFailureNotACrash) {
    std::signal(SIGPIPE, SIG_IGN);
    Pipe pipe;
    Pipe::close(pipe.read);
    EXPECT_FALSE(writeResponseFrame(frameOf("{}"), pipe.write));
}

class DescribedError : public std::exception, public loftwing::LocalizedError {
  public:
    explicit DescribedError(std::optional<std::string> description)
        : description_(std::move(description)) {}
    std::optional<std::string> errorDescription() const override { return description_; }

  private:
    std::optional<std::string> description_;
};

TEST(ErrorFrame, DescribesTheFailureInOneFrame) {
    const std::string family =
        "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
    std::string long300, first240;
    for (int i = 0; i < 300; ++i) {
        const std::string character =
            i % 2 ? family : std::string(1, static_cast<char>('a' + i % 26));
        long300 += character;
        if (i < 240) {
            first240 += character;
        }
    }
    struct Row {
        const char* name;
        std::exception_ptr error;
        std::string expected;
    };
    const std::vector<Row> rows{
        {"not an exception class", std::make_exception_ptr(42), "Zevirudi stopped."},
        {"no error", std::exception_ptr(), "Zevirudi stopped."},
        {"300 characters cut to 240", std::make_exception_ptr(DescribedError(long300)), first240},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(errorFrame(row.error),
                  loftwing::NativeMessageCodec::encode(
                      loftwing::NativeHostResponse{false, {}, {}, {}, {}, row.expected}));
    }
}

}  // namespace
}  // namespace zevirudi
