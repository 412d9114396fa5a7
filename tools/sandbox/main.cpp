// zevirudi-sandbox [--port N]: serves the stand-in providers on 127.0.0.1. With --port 0 the
// system chooses the port; the one line "listening on http://127.0.0.1:PORT" on standard output
// tells it once the socket is bound.
#include "RequestCounters.h"
#include "SandboxService.h"

#include <httplib.h>
#include <sodium.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

namespace {

constexpr int demoPort = 47613;
// Each kept-alive connection holds a worker, and the product opens several at once (four
// message fetches per account, several accounts); a generous pool keeps them from queueing.
constexpr std::size_t workerCount = 32;

// The server's worker pool, counting each accepted connection on the worker that serves it.
class CountingTaskQueue : public httplib::TaskQueue {
  public:
    explicit CountingTaskQueue(zevirudi::sandbox::RequestCounters& counters)
        : counters_(counters), pool_(workerCount) {}

    void enqueue(std::function<void()> connection) override {
        pool_.enqueue([this, connection = std::move(connection)] {
            counters_.connectionAccepted();
            connection();
        });
    }
    void shutdown() override { pool_.shutdown(); }

  private:
    zevirudi::sandbox::RequestCounters& counters_;
    httplib::ThreadPool pool_;
};

int usage() {
    std::cerr << "usage: zevirudi-sandbox [--port N]   (N = 0: any free port; default " << demoPort
              << ")\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int port = demoPort;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--port" && i + 1 < argc) {
            char* end = nullptr;
            long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 0 || value > 65535) {
                return usage();
            }
            port = static_cast<int>(value);
        } else {
            return usage();
        }
    }
    if (sodium_init() < 0) {
        std::cerr << "zevirudi-sandbox: libsodium failed to start\n";
        return 1;
    }
    // A dropped connection makes the next write fail; that must not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    httplib::Server server;
    // Clients that keep connections alive (curl's pool) must be able to reuse one connection for
    // a whole poll, or the connection counters would count the server's limits, not the client.
    server.set_keep_alive_max_count(100000);
    server.set_keep_alive_timeout(10);
    // Without it a request whose headers and body arrive in two writes waits for a delayed ACK.
    server.set_tcp_nodelay(true);
    if (port == 0) {
        port = server.bind_to_any_port("127.0.0.1");
    } else if (!server.bind_to_port("127.0.0.1", port)) {
        port = -1;
    }
    if (port <= 0) {
        std::cerr << "zevirudi-sandbox: cannot listen on 127.0.0.1\n";
        return 1;
    }
    const std::string baseURL = "http://127.0.0.1:" + std::to_string(port);
    zevirudi::sandbox::SandboxService service(baseURL);
    service.install(server);
    server.new_task_queue = [&service] { return new CountingTaskQueue(service.counters()); };

    std::cout << "listening on " << baseURL << std::endl;
    return server.listen_after_bind() ? 0 : 1;
}
