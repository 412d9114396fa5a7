#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace loftwing::test {

// A child process started with posix_spawn whose standard output is read through a pipe;
// standard error is inherited. Every wait is bounded. The destructor kills (SIGKILL) and reaps a
// child that is still running.
class SpawnedProcess {
  public:
    // Environment changes applied to this process's environment: a value sets the variable,
    // nullopt removes it. Throws std::runtime_error when the program cannot be started.
    using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

    SpawnedProcess(const std::vector<std::string>& argv,
                   const EnvironmentChanges& environment = {});
    ~SpawnedProcess();
    SpawnedProcess(const SpawnedProcess&) = delete;
    SpawnedProcess& operator=(const SpawnedProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The next line of standard output without its newline; nothing at end of output or when
    // the time-out passes first.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    // Everything the child writes until it closes standard output (bounded by the time-out).
    std::string readAll(std::chrono::milliseconds timeout);

    void signal(int signalNumber);
    // The exit status, or 128 + the signal number when a signal ended it; nothing when the child
    // is still running after the time-out.
    std::optional<int> wait(std::chrono::milliseconds timeout);

  private:
    // Reads once into the buffer; false at end of output or time-out.
    bool fill(std::chrono::steady_clock::time_point deadline);

    pid_t pid_ = -1;
    int output_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
    std::optional<int> status_;
    std::string buffer_;
};

}  // namespace loftwing::test
