#include "helpers/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <utility>

extern char** environ;

namespace loftwing::test {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(int error, const std::string& what) {
    throw std::system_error(error, std::generic_category(), what);
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// True when `fd` is ready for `events` before the deadline.
bool ready(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd entry{fd, events, 0};
        const int count = ::poll(&entry, 1, left.count() < 0 ? 0 : static_cast<int>(left.count()));
        if (count >= 0) {
            return count > 0;
        }
        if (errno != EINTR) {
            fail(errno, "poll");
        }
    }
}

enum class Read { data, end, timeout };

// Appends what one read of `fd` gives to `buffer`.
Read readInto(int fd, std::string& buffer, Clock::time_point deadline) {
    if (fd < 0) {
        return Read::end;
    }
    if (!ready(fd, POLLIN, deadline)) {
        return Read::timeout;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t count = ::read(fd, chunk, sizeof chunk);
        if (count > 0) {
            buffer.append(chunk, static_cast<std::size_t>(count));
            return Read::data;
        }
        if (count == 0) {
            return Read::end;
        }
        if (errno != EINTR) {
            fail(errno, "read");
        }
    }
}

std::string readRest(int fd, std::string buffer, std::chrono::milliseconds timeout,
                     const char* what) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        switch (readInto(fd, buffer, deadline)) {
            case Read::data:
                break;
            case Read::end:
                return buffer;
            case Read::timeout:
                throw std::runtime_error(std::string("timed out reading the child's ") + what);
        }
    }
}

std::vector<std::string> environmentWith(const Process::EnvironmentChanges& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        if (!changes.contains(text.substr(0, text.find('=')))) {
            result.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        if (value) {
            result.push_back(name + "=" + *value);
        }
    }
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (auto& text : texts) {
        result.push_back(text.data());
    }
    result.push_back(nullptr);
    return result;
}

void reap(pid_t pid) {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

Process::Process(const std::vector<std::string>& argv, const Options& options) {
    if (argv.empty()) {
        throw std::invalid_argument("no program to start");
    }
    // [0] is the read end, [1] the write end; -1 where the stream is inherited. `report` carries
    // exec's errno from the child and closes on a successful exec.
    int input[2] = {-1, -1}, output[2] = {-1, -1}, error[2] = {-1, -1}, report[2] = {-1, -1};
    const auto closeAll = [&] {
        for (int* ends : {input, output, error, report}) {
            closeFd(ends[0]);
            closeFd(ends[1]);
        }
    };
    const auto open = [&](int(&ends)[2]) {
        if (::pipe2(ends, O_CLOEXEC) != 0) {
            const int code = errno;
            closeAll();
            fail(code, "pipe2");
        }
    };
    open(report);
    if (options.pipeInput) {
        open(input);
    }
    if (options.pipeOutput) {
        open(output);
    }
    if (options.pipeError) {
        open(error);
    }
    auto arguments = argv;
    auto variables = environmentWith(options.environment);
    const auto argumentPointers = pointers(arguments);
    const auto variablePointers = pointers(variables);
    const pid_t parent = ::getpid();

    pid_ = ::fork();
    if (pid_ < 0) {
        const int code = errno;
        closeAll();
        fail(code, "fork");
    }
    if (pid_ == 0) {
        // Only async-signal-safe calls from here to exec.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        ::sigaction(SIGPIPE, &byDefault, nullptr);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int targets[] = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
        const int sources[] = {input[0], output[1], error[1]};
        for (int stream = 0; stream < 3; ++stream) {
            if (sources[stream] >= 0 && ::dup2(sources[stream], targets[stream]) < 0) {
                ::_exit(127);
            }
        }
        ::execvpe(argumentPointers[0], argumentPointers.data(), variablePointers.data());
        const int code = errno;
        if (::write(report[1], &code, sizeof code) < 0) {
            ::_exit(127);
        }
        ::_exit(127);
    }
    closeFd(input[0]);
    closeFd(output[1]);
    closeFd(error[1]);
    closeFd(report[1]);
    int execError = 0;
    ssize_t reported = 0;
    do {
        reported = ::read(report[0], &execError, sizeof execError);
    } while (reported < 0 && errno == EINTR);
    closeFd(report[0]);
    if (reported > 0) {
        reap(pid_);
        closeAll();
        fail(execError, "cannot start " + argv.front());
    }
    input_ = std::exchange(input[1], -1);
    output_ = std::exchange(output[0], -1);
    error_ = std::exchange(error[0], -1);
    // Through syscall(): Debian 12's <sys/pidfd.h> lacks C linkage for pidfd_open.
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd_ < 0) {
        const int code = errno;
        ::kill(pid_, SIGKILL);
        reap(pid_);
        closeFd(input_);
        closeFd(output_);
        closeFd(error_);
        fail(code, "pidfd_open");
    }
}

Process::~Process() {
    if (!status_) {
        ::kill(pid_, SIGKILL);
        reap(pid_);
    }
    closeFd(input_);
    closeFd(output_);
    closeFd(error_);
    closeFd(pidfd_);
}

bool Process::write(std::string_view bytes) {
    // The child may stop reading; a write into a closed pipe must be an answer, not a signal.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous {};
    ::sigaction(SIGPIPE, &ignore, &previous);
    bool complete = input_ >= 0;
    while (complete && !bytes.empty()) {
        const ssize_t written = ::write(input_, bytes.data(), bytes.size());
        if (written >= 0) {
            bytes.remove_prefix(static_cast<std::size_t>(written));
        } else if (errno != EINTR) {
            complete = false;
        }
    }
    ::sigaction(SIGPIPE, &previous, nullptr);
    return complete;
}

void Process::closeInput() {
    closeFd(input_);
}

void Process::closeOutput() {
    closeFd(output_);
    outputBuffer_.clear();
}

std::string Process::readToEnd(std::chrono::milliseconds timeout) {
    return readRest(output_, std::exchange(outputBuffer_, {}), timeout, "standard output");
}

std::string Process::readErrorToEnd(std::chrono::milliseconds timeout) {
    return readRest(error_, {}, timeout, "standard error");
}

std::optional<std::string> Process::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (const auto newline = outputBuffer_.find('\n'); newline != std::string::npos) {
            std::string line = outputBuffer_.substr(0, newline);
            outputBuffer_.erase(0, newline + 1);
            return line;
        }
        if (readInto(output_, outputBuffer_, deadline) != Read::data) {
            return std::nullopt;
        }
    }
}

void Process::signal(int signalNumber) {
    if (!status_) {
        ::kill(pid_, signalNumber);
    }
}

std::optional<int> Process::wait(std::chrono::milliseconds timeout) {
    if (status_ || !ready(pidfd_, POLLIN, Clock::now() + timeout)) {
        return status_;
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0) {
        if (errno != EINTR) {
            fail(errno, "waitpid");
        }
    }
    status_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    return status_;
}

std::string builtProgram(const std::string& name) {
    const char* buildDir = std::getenv("ZEVIRUDI_BUILD_DIR");
    if (!buildDir) {
        throw std::runtime_error("ZEVIRUDI_BUILD_DIR is not set; run the test through CTest");
    }
    return std::string(buildDir) + "/bin/" + name;
}

}  // namespace loftwing::test
