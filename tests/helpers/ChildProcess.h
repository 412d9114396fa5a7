#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

namespace loftwing::test {

// A program started with its standard streams on pipes, for driving the built binary the way
// Chrome does. Every wait is bounded; a time-out throws std::runtime_error. The destructor kills
// and reaps a child that is still running.
class ChildProcess {
  public:
    // Starts `program` with `arguments` (argv[1] onwards). SIGPIPE is reset to its default in the
    // child so that a test sees what a process started by Chrome would suffer.
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Writes all bytes to the child's standard input; false when the child closed it.
    bool writeInput(std::string_view bytes);
    void closeInput();
    // Closes our end of the child's standard output, as a reader that gives up early would.
    void closeOutput();

    // Everything the child writes to standard output until it closes it.
    std::string readOutputUntilEnd(std::chrono::milliseconds timeout);
    // Exactly `count` bytes of standard output, or fewer if it ends first.
    std::string readOutput(std::size_t count, std::chrono::milliseconds timeout);
    // Everything written to standard error so far, up to its end (call after waitForExit).
    std::string readErrorUntilEnd(std::chrono::milliseconds timeout);

    // The raw wait status once the child has ended.
    int waitForExit(std::chrono::milliseconds timeout);

  private:
    pid_t pid_ = -1;
    int pidfd_ = -1;
    int input_ = -1;
    int output_ = -1;
    int error_ = -1;
    std::optional<int> status_;
};

// Path of a built program: $ZEVIRUDI_BUILD_DIR/bin/<name>.
std::string builtProgram(const std::string& name);

}  // namespace loftwing::test
