#include "helpers/SpawnedProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

extern char** environ;

namespace loftwing::test {
namespace {

int remainingMilliseconds(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() < 0 ? 0 : static_cast<int>(left.count());
}

std::vector<std::string> childEnvironment(const SpawnedProcess::EnvironmentChanges& changes) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const auto name = text.substr(0, text.find('='));
        if (changes.find(name) == changes.end()) {
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

}  // namespace

SpawnedProcess::SpawnedProcess(const std::vector<std::string>& argv,
                               const EnvironmentChanges& environment) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe2 failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);

    auto arguments = argv;
    auto variables = childEnvironment(environment);
    auto argumentPointers = pointers(arguments);
    auto variablePointers = pointers(variables);
    const int failed = posix_spawnp(&pid_, argumentPointers[0], &actions, nullptr,
                                    argumentPointers.data(), variablePointers.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (failed != 0) {
        close(pipeEnds[0]);
        throw std::runtime_error("cannot start " + argv.front() + ": " + std::strerror(failed));
    }
    output_ = pipeEnds[0];
    // Called through syscall(): Debian 12's <sys/pidfd.h> lacks C linkage for pidfd_open.
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd_ < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        close(output_);
        throw std::runtime_error("pidfd_open failed");
    }
}

SpawnedProcess::~SpawnedProcess() {
    if (!reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(pidfd_);
    close(output_);
}

bool SpawnedProcess::fill(std::chrono::steady_clock::time_point deadline) {
    pollfd readable{output_, POLLIN, 0};
    const int ready = poll(&readable, 1, remainingMilliseconds(deadline));
    if (ready <= 0) {
        return false;
    }
    char chunk[4096];
    const ssize_t count = read(output_, chunk, sizeof chunk);
    if (count <= 0) {
        return false;
    }
    buffer_.append(chunk, static_cast<std::size_t>(count));
    return true;
}

std::optional<std::string> SpawnedProcess::readLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto newline = buffer_.find('\n');
        if (newline != std::string::npos) {
            std::string line = buffer_.substr(0, newline);
            buffer_.erase(0, newline + 1);
            return line;
        }
        if (!fill(deadline)) {
            return std::nullopt;
        }
    }
}

std::string SpawnedProcess::readAll(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (fill(deadline)) {
    }
    return std::exchange(buffer_, std::string());
}

void SpawnedProcess::signal(int signalNumber) {
    if (!reaped_) {
        kill(pid_, signalNumber);
    }
}

std::optional<int> SpawnedProcess::wait(std::chrono::milliseconds timeout) {
    if (reaped_) {
        return status_;
    }
    pollfd ended{pidfd_, POLLIN, 0};
    if (poll(&ended, 1, static_cast<int>(timeout.count())) <= 0) {
        return std::nullopt;
    }
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_) {
        return std::nullopt;
    }
    reaped_ = true;
    status_ = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    return status_;
}

}  // namespace loftwing::test
