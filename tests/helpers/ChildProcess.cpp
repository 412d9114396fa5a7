#include "helpers/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace loftwing::test {
namespace {

[[noreturn]] void fail(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

using Clock = std::chrono::steady_clock;

// Waits until `fd` is ready for `events` or the deadline passes.
void waitReady(int fd, short events, Clock::time_point deadline, const char* what) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            throw std::runtime_error(std::string("timed out: ") + what);
        }
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready > 0) {
            return;
        }
        if (ready < 0 && errno != EINTR) {
            fail("poll");
        }
    }
}

std::string readUntilEnd(int fd, std::chrono::milliseconds timeout, const char* what) {
    const auto deadline = Clock::now() + timeout;
    std::string out;
    char buffer[65536];
    for (;;) {
        waitReady(fd, POLLIN, deadline, what);
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) {
            return out;
        }
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            fail("read");
        }
        out.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
    int in[2], out[2], err[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 ||
        ::pipe2(err, O_CLOEXEC) != 0) {
        fail("pipe2");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const int spawned =
        posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    input_ = in[1];
    output_ = out[0];
    error_ = err[0];
    if (spawned != 0) {
        errno = spawned;
        fail("posix_spawn");
    }
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd_ < 0) {
        fail("pidfd_open");
    }
}

ChildProcess::~ChildProcess() {
    if (!status_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    closeFd(input_);
    closeFd(output_);
    closeFd(error_);
    closeFd(pidfd_);
}

bool ChildProcess::writeInput(std::string_view bytes) {
    // The child may stop reading; a write into a closed pipe must be an answer, not a signal.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    ::sigaction(SIGPIPE, &ignore, &previous);
    bool complete = true;
    while (!bytes.empty()) {
        const ssize_t written = ::write(input_, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            complete = false;
            break;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
    return complete;
}

void ChildProcess::closeInput() {
    closeFd(input_);
}

void ChildProcess::closeOutput() {
    closeFd(output_);
}

std::string ChildProcess::readOutputUntilEnd(std::chrono::milliseconds timeout) {
    return readUntilEnd(output_, timeout, "child standard output");
}

std::string ChildProcess::readErrorUntilEnd(std::chrono::milliseconds timeout) {
    return readUntilEnd(error_, timeout, "child standard error");
}

std::string ChildProcess::readOutput(std::size_t count, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::string out(count, '\0');
    std::size_t have = 0;
    while (have < count) {
        waitReady(output_, POLLIN, deadline, "child standard output");
        const ssize_t got = ::read(output_, out.data() + have, count - have);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            fail("read");
        }
        have += static_cast<std::size_t>(got);
    }
    out.resize(have);
    return out;
}

int ChildProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (status_) {
        return *status_;
    }
    waitReady(pidfd_, POLLIN, Clock::now() + timeout, "child exit");
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) {
        fail("waitpid");
    }
    status_ = status;
    return status;
}

std::string builtProgram(const std::string& name) {
    const char* buildDir = std::getenv("ZEVIRUDI_BUILD_DIR");
    if (!buildDir) {
        throw std::runtime_error("ZEVIRUDI_BUILD_DIR is not set; run the test through CTest");
    }
    return std::string(buildDir) + "/bin/" + name;
}

}  // namespace loftwing::test
