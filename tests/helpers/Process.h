#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace loftwing::test {

// A child process for a test or a benchmark: standard streams on pipes or inherited, environment
// changes, bounded reads and waits. The child gets SIGPIPE at its default (as a program Chrome
// starts would) and is killed when the thread that started it ends, so a crashing test leaves no
// process behind; the destructor kills and reaps a child still running. Every call retries EINTR.
class Process {
  public:
    // A value sets the variable, nullopt removes it; the rest of this process's environment
    // stays.
    using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;
    struct Options {
        bool pipeInput = false;
        bool pipeOutput = true;
        bool pipeError = false;
        EnvironmentChanges environment = {};
    };

    // argv[0] is looked up on PATH. Throws std::system_error when the program cannot be started,
    // with no descriptor left open.
    explicit Process(const std::vector<std::string>& argv, const Options& options);
    explicit Process(const std::vector<std::string>& argv) : Process(argv, Options{}) {}
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Writes all bytes to standard input; false when the child closed it.
    bool write(std::string_view bytes);
    void closeInput();
    // Closes our end of standard output, as a reader that gives up early would.
    void closeOutput();

    // Throws std::runtime_error when the time-out passes first.
    std::string readToEnd(std::chrono::milliseconds timeout);
    std::string readErrorToEnd(std::chrono::milliseconds timeout);
    // The next line of standard output without its newline; nothing at the end of output or when
    // the time-out passes first.
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);

    void signal(int signalNumber);
    // The exit status, or 128 + the signal number when a signal ended the child; nothing while
    // it is still running after the time-out.
    std::optional<int> wait(std::chrono::milliseconds timeout);

  private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
    int input_ = -1;
    int output_ = -1;
    int error_ = -1;
    std::optional<int> status_;
    std::string outputBuffer_;
};

// Path of a built program: $ZEVIRUDI_BUILD_DIR/bin/<name>.
std::string builtProgram(const std::string& name);

}  // namespace loftwing::test
