#include "oauth/CurlTransport.h"

#include "records/Errors.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

namespace loftwing {
namespace {

using namespace std::chrono_literals;

// A loopback HTTP server on a port the system chooses, counting the connections it accepted (by
// their client ports) and able to hold requests until the test releases them.
class LocalServer {
  public:
    explicit LocalServer(const std::string& host = "127.0.0.1") {
        server_.set_keep_alive_max_count(1000);
        // The server's stop waits for idle keep-alive connections to time out.
        server_.set_keep_alive_timeout(1);
        server_.Get("/echo", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            response.status = 418;
            response.set_header("X-Reply", "teapot");
            response.set_content("method=" + request.method +
                                     " type=" + request.get_header_value("Content-Type") +
                                     " expect=" + request.get_header_value("Expect") +
                                     " custom=" + request.get_header_value("X-Custom"),
                                 "text/plain");
        });
        server_.Post("/echo", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            response.set_content(request.get_header_value("Content-Type") + "|" + request.body,
                                 "text/plain");
        });
        server_.Get("/held", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            {
                std::unique_lock lock(mutex_);
                ++held_;
                changed_.notify_all();
                changed_.wait_for(lock, 10s, [this] { return released_; });
            }
            response.set_content("late", "text/plain");
        });
        server_.Get("/huge", [this](const httplib::Request& request, httplib::Response& response) {
            record(request);
            constexpr std::size_t size = CurlTransport::maximumBodySize + 1024 * 1024;
            response.set_content_provider(
                size, "application/octet-stream",
                [](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                    static const std::string chunk(64 * 1024, 'x');
                    (void)offset;
                    return sink.write(chunk.data(), std::min(length, chunk.size()));
                });
        });
        port_ = server_.bind_to_any_port(host);
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }

    ~LocalServer() {
        release();
        // stop() has no effect on a server whose listening loop has not started yet.
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!server_.is_running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        server_.stop();
        thread_.join();
    }

    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    int port() const { return port_; }

    std::size_t connections() const {
        std::lock_guard lock(mutex_);
        return clientPorts_.size();
    }
    std::size_t requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    bool waitUntilHeld(int count) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] { return held_ >= count; });
    }
    void release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    void record(const httplib::Request& request) {
        std::lock_guard lock(mutex_);
        ++requests_;
        clientPorts_.insert(request.remote_port);
    }

    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::set<int> clientPorts_;
    std::size_t requests_ = 0;
    int held_ = 0;
    bool released_ = false;
};

// A loopback port that was free a moment ago: nothing listens there.
int unusedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    sockaddr name{};
    std::memcpy(&name, &address, sizeof address);
    EXPECT_EQ(::bind(fd, &name, sizeof address), 0);
    EXPECT_EQ(::getsockname(fd, &name, &length), 0);
    std::memcpy(&address, &name, sizeof address);
    ::close(fd);
    return ntohs(address.sin_port);
}

HTTPRequest getRequest(const std::string& url) {
    HTTPRequest request;
    request.url = url;
    return request;
}

int transportErrorCode(const std::function<void()>& action) {
    try {
        action();
    } catch (const TransportError& error) {
        return error.code();
    }
    ADD_FAILURE() << "no TransportError";
    return 0;
}

TEST(CurlTransport, StatusHeadersAndBodyPassThrough) {
    LocalServer server;
    CurlTransport transport;
    HTTPRequest get{server.url("/echo"), "GET", {{"X-Custom", "one"}}, "", 60s};
    const auto response = transport.data(get);
    EXPECT_EQ(response.statusCode, 418);
    EXPECT_EQ(response.body, "method=GET type= expect= custom=one");
    EXPECT_NE(std::find(response.headers.begin(), response.headers.end(),
                        std::pair<std::string, std::string>{"X-Reply", "teapot"}),
              response.headers.end());

    // A body goes out with exactly the caller's content type (none when none is given), and a
    // large one without waiting for "100 Continue".
    const struct {
        const char* name;
        HTTPHeaders headers;
        std::string body;
        std::string echoed;
    } posts[] = {
        {"form",
         {{"Content-Type", "application/x-www-form-urlencoded"}},
         "a=b%20c",
         "application/x-www-form-urlencoded|a=b%20c"},
        {"no content type", {}, "x", "|x"},
        {"large",
         {{"Content-Type", "text/plain"}},
         std::string(3 * 1024 * 1024, 'b'),
         "text/plain|" + std::string(3 * 1024 * 1024, 'b')},
    };
    for (const auto& row : posts) {
        SCOPED_TRACE(row.name);
        const auto started = std::chrono::steady_clock::now();
        const auto posted =
            transport.data(HTTPRequest{server.url("/echo"), "POST", row.headers, row.body, 60s});
        EXPECT_EQ(posted.statusCode, 200);
        EXPECT_TRUE(posted.body == row.echoed) << posted.body.substr(0, 100);
        // curl waits up to a second for "100 Continue" when it sends "Expect".
        EXPECT_LT(std::chrono::steady_clock::now() - started, 900ms);
    }
}

TEST(CurlTransport, RefusedAndFailedAddresses) {
    LocalServer server;
    CurlTransport transport;
    const int closedPort = unusedLoopbackPort();
    const struct {
        const char* name;
        std::string url;
        int code;
    } rows[] = {
        {"plain http to a public host", "http://example.com/", -1},
        {"plain http to a documentation address", "http://192.0.2.1/", -1},
        {"loopback name as user info", "http://localhost@192.0.2.1/", -1},
        {"other scheme", "ftp://127.0.0.1/", -1},
        {"file scheme", "file:///etc/passwd", -1},
        {"not a URL", "::", -1},
        {"loopback without listener", "http://127.0.0.1:" + std::to_string(closedPort) + "/",
         -1004},
        {"localhost without listener", "http://LOCALHOST:" + std::to_string(closedPort) + "/",
         -1004},
        {"unknown host", "https://no-such-host.invalid/", -1003},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(transportErrorCode([&] { transport.data(getRequest(row.url)); }), row.code);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    }
    EXPECT_THROW(transport.data(
                     HTTPRequest{server.url("/echo"), "GET", {{"X-Bad", "a\r\nHost: x"}}, "", 60s}),
                 TransportError);
    EXPECT_EQ(server.requests(), 0u);
}

// A local address that is not loopback, when the machine has one.
std::optional<std::string> nonLoopbackAddress() {
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) {
        return std::nullopt;
    }
    std::optional<std::string> found;
    for (auto* entry = interfaces; entry && !found; entry = entry->ifa_next) {
        if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) {
            continue;
        }
        sockaddr_in address{};
        std::memcpy(&address, entry->ifa_addr, sizeof address);
        if ((ntohl(address.sin_addr.s_addr) >> 24) == 127) {
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
        found = text;
    }
    freeifaddrs(interfaces);
    return found;
}

TEST(CurlTransport, PlainHttpToANonLoopbackAddressSendsNothing) {
    const auto address = nonLoopbackAddress();
    if (!address) {
        GTEST_SKIP() << "no non-loopback IPv4 address on this machine";
    }
    // The server listens on every address, so a request that went out would be counted.
    LocalServer server("0.0.0.0");
    CurlTransport transport;
    const auto url = "http://" + *address + ":" + std::to_string(server.port()) + "/echo";
    EXPECT_EQ(transportErrorCode([&] { transport.data(getRequest(url)); }), -1);
    EXPECT_EQ(transport.data(getRequest(server.url("/echo"))).statusCode, 418);
    EXPECT_EQ(server.requests(), 1u);
    EXPECT_EQ(server.connections(), 1u);
}

TEST(CurlTransport, TimeOut) {
    LocalServer server;
    CurlTransport transport;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(transportErrorCode([&] {
                  transport.data(HTTPRequest{server.url("/held"), "GET", {}, "", 200ms});
              }),
              -1001);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    EXPECT_GE(elapsed, 200ms);
    EXPECT_LT(elapsed, 2s);
}

TEST(CurlTransport, CancellationEndsAnInFlightRequestQuickly) {
    LocalServer server;
    CurlTransport transport;
    std::stop_source stop;
    auto call = std::async(std::launch::async, [&] {
        try {
            transport.data(getRequest(server.url("/held")), stop.get_token());
        } catch (const OperationCancelled&) {
            return std::chrono::steady_clock::now();
        }
        ADD_FAILURE() << "not cancelled";
        return std::chrono::steady_clock::now();
    });
    ASSERT_TRUE(server.waitUntilHeld(1));
    const auto requested = std::chrono::steady_clock::now();
    stop.request_stop();
    ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
    const auto ended = call.get();
    EXPECT_LT(ended - requested, 100ms);

    std::stop_source already;
    already.request_stop();
    EXPECT_THROW(transport.data(getRequest(server.url("/echo")), already.get_token()),
                 OperationCancelled);
}

TEST(CurlTransport, OneConnectionPoolForTheProcess) {
    LocalServer server;
    {
        // Separate transport objects still share the pool.
        for (int i = 0; i < 20; ++i) {
            CurlTransport transport;
            ASSERT_EQ(transport.data(getRequest(server.url("/echo"))).statusCode, 418);
        }
    }
    EXPECT_EQ(server.requests(), 20u);
    EXPECT_EQ(server.connections(), 1u);

    // Four threads at once over HTTP/1.1 need at most four connections, reused for every round.
    CurlTransport transport;
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 10; ++i) {
                    EXPECT_EQ(transport.data(getRequest(server.url("/echo"))).statusCode, 418);
                }
            });
        }
    }
    EXPECT_EQ(server.requests(), 60u);
    EXPECT_LE(server.connections(), 4u);
}

TEST(CurlTransport, OversizedBodyIsRefused) {
    LocalServer server;
    CurlTransport transport;
    EXPECT_EQ(transportErrorCode([&] { transport.data(getRequest(server.url("/huge"))); }), -1);
}

}  // namespace
}  // namespace loftwing
