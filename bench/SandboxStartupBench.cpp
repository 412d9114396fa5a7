// Times how long zevirudi-sandbox takes from fork to its "listening on" line (and one admin
// call answered), beside the same fork, exec and first line of /bin/echo, interleaved run by run so
// that both see the same machine load; prints the medians and their ratio.
//
//   sandbox_startup_bench [runs]
#include "helpers/SandboxServer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double sandboxMicroseconds() {
    const auto start = Clock::now();
    loftwing::test::SandboxServer sandbox;
    sandbox.admin("GET", "/_sandbox/health");
    const auto elapsed = Clock::now() - start;
    return std::chrono::duration<double, std::micro>(elapsed).count();
}

double echoMicroseconds() {
    const auto start = Clock::now();
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        execl("/bin/echo", "echo", "listening on http://127.0.0.1:1", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buffer[128];
    std::string line;
    while (line.find('\n') == std::string::npos) {
        ssize_t count = read(fds[0], buffer, sizeof buffer);
        if (count <= 0) {
            break;
        }
        line.append(buffer, static_cast<std::size_t>(count));
    }
    const auto elapsed = Clock::now() - start;
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return std::chrono::duration<double, std::micro>(elapsed).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 100;
    std::vector<double> sandbox;
    std::vector<double> echo;
    for (int i = 0; i < runs; ++i) {
        // Alternate which goes first, so neither always runs on a warmer machine.
        if (i % 2 == 0) {
            sandbox.push_back(sandboxMicroseconds());
            echo.push_back(echoMicroseconds());
        } else {
            echo.push_back(echoMicroseconds());
            sandbox.push_back(sandboxMicroseconds());
        }
    }
    const double sandboxMedian = median(sandbox);
    const double echoMedian = median(echo);
    std::printf(
        "runs %d\nzevirudi-sandbox to first admin answer: median %.2f ms\n"
        "/bin/echo to first line:                median %.2f ms\nratio %.2f\n",
        runs, sandboxMedian / 1000, echoMedian / 1000, sandboxMedian / echoMedian);
    return 0;
}
