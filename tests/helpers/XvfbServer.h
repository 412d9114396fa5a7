#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace loftwing::test {

// A private X server for one test: Xvfb on a display number it picks itself (-displayfd), with
// no TCP listener. Stopped and reaped on destruction.
class XvfbServer {
  public:
    explicit XvfbServer(const std::string& screen = "1512x982x24",
                        std::chrono::milliseconds startLimit = std::chrono::seconds(15)) {
        int ready[2];
        if (pipe(ready) != 0) {
            throw std::runtime_error("pipe failed");
        }
        pid_ = fork();
        if (pid_ < 0) {
            throw std::runtime_error("fork failed");
        }
        if (pid_ == 0) {
            close(ready[0]);
            const std::string fd = std::to_string(ready[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
                   screen.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(ready[1]);
        // Xvfb writes the display number and a newline once it accepts connections.
        std::string number;
        pollfd waiting{ready[0], POLLIN, 0};
        const auto deadline = std::chrono::steady_clock::now() + startLimit;
        while (number.find('\n') == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0 || poll(&waiting, 1, static_cast<int>(left.count())) <= 0) {
                break;
            }
            char buffer[16];
            const ssize_t count = read(ready[0], buffer, sizeof buffer);
            if (count <= 0) {
                break;
            }
            number.append(buffer, static_cast<std::size_t>(count));
        }
        close(ready[0]);
        if (number.find('\n') == std::string::npos) {
            stop();
            throw std::runtime_error("Xvfb did not start");
        }
        display_ = ":" + number.substr(0, number.find('\n'));
    }

    ~XvfbServer() { stop(); }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // The DISPLAY value, such as ":3".
    const std::string& display() const { return display_; }

  private:
    void stop() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
            pid_ = -1;
        }
    }

    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace loftwing::test
