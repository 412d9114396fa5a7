// CurlTransport against the sandbox's echo endpoint (a real loopback HTTP server in its own
// process), and against a listener on every address for the refusal of plain http.

#include "oauth/CurlTransport.h"

#include "helpers/CapturingLogSink.h"
#include "helpers/SandboxServer.h"
#include "helpers/ThrownError.h"
#include "records/Errors.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <boost/json/parse.hpp>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <optional>
#include <thread>

namespace loftwing {
namespace {

using namespace std::chrono_literals;
using loftwing::test::SandboxServer;

HTTPRequest request(const std::string& url, std::string method = "GET", HTTPHeaders headers = {},
                    std::string body = "", std::chrono::milliseconds timeout = 60s) {
    return HTTPRequest{url, std::move(method), std::move(headers), std::move(body), timeout};
}

int transportErrorCode(const std::function<void()>& action) {
    const auto error = test::thrownError<TransportError>(action);
    return error ? error->code() : 0;
}

std::int64_t echoCount(SandboxServer& sandbox, const char* group) {
    const auto counters = sandbox.counters();
    const auto& values = group == std::string("requests")
                             ? counters.at("requests").as_object()
                             : counters.at("connections").as_object().at("families").as_object();
    const auto* count = values.if_contains("echo");
    return count ? count->as_int64() : 0;
}

class CurlTransportOnSandbox : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { sandbox_ = new SandboxServer(); }
    static void TearDownTestSuite() {
        delete sandbox_;
        sandbox_ = nullptr;
    }
    void SetUp() override {
        sandbox_->setFault("echo", {}, 0);
        sandbox_->resetCounters();
    }
    std::string echo(const std::string& rest = "") const {
        return sandbox_->baseURL() + "/_sandbox/echo" + rest;
    }

    static SandboxServer* sandbox_;
    CurlTransport transport_;
};

SandboxServer* CurlTransportOnSandbox::sandbox_ = nullptr;

TEST_F(CurlTransportOnSandbox, BodiesGoOutWithTheCallersContentTypeOnly) {
    // A body goes out with exactly the caller's content type (none when none is given), and a
    // large one without "Expect: 100-continue" (curl would wait up to a second for the answer).
    const struct {
        const char* name;
        HTTPHeaders headers;
        std::string body;
    } posts[] = {
        {"form", {{"Content-Type", "application/x-www-form-urlencoded"}}, "a=b%20c"},
        {"no content type", {}, "x"},
        {"large", {{"Content-Type", "text/plain"}}, std::string(3 * 1024 * 1024, 'b')},
    };
    for (const auto& row : posts) {
        SCOPED_TRACE(row.name);
        const auto posted = transport_.data(request(echo(), "POST", row.headers, row.body));
        ASSERT_EQ(posted.statusCode, 200);
        const auto json = boost::json::parse(posted.body).as_object();
        const auto& headers = json.at("headers").as_object();
        EXPECT_TRUE(json.at("body") == row.body.c_str());
        EXPECT_FALSE(headers.contains("Expect"));
        if (row.headers.empty()) {
            EXPECT_FALSE(headers.contains("Content-Type"));
        } else {
            EXPECT_EQ(headers.at("Content-Type"), row.headers[0].second.c_str());
        }
    }
}

TEST_F(CurlTransportOnSandbox, Failures) {
    const struct {
        const char* name;
        boost::json::array queue;
        std::int64_t delay;
        HTTPRequest sent;
        int code;
    } rows[] = {
        {"time-out", {}, 2000, request(echo(), "GET", {}, "", 200ms), -1001},
        {"connection dropped", {boost::json::object{{"drop", true}}}, 0, request(echo()), -1005},
        {"header with a line break",
         {},
         0,
         request(echo(), "GET", {{"X-Bad", "a\r\nHost: x"}}),
         -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        sandbox_->setFault("echo", row.queue, row.delay);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(transportErrorCode([&] { transport_.data(row.sent); }), row.code);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1500ms);
    }
}

TEST_F(CurlTransportOnSandbox, CancellationEndsAnInFlightRequestQuickly) {
    sandbox_->setFault("echo", {}, 5000);
    std::stop_source stop;
    auto call = std::async(std::launch::async, [&] {
        EXPECT_THROW(transport_.data(request(echo()), stop.get_token()), OperationCancelled);
        return std::chrono::steady_clock::now();
    });
    // The request is in flight once the sandbox has counted it.
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (echoCount(*sandbox_, "requests") == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    const auto requested = std::chrono::steady_clock::now();
    stop.request_stop();
    ASSERT_EQ(call.wait_for(5s), std::future_status::ready);
    EXPECT_LT(call.get() - requested, 100ms);

    std::stop_source already;
    already.request_stop();
    EXPECT_THROW(transport_.data(request(echo()), already.get_token()), OperationCancelled);
}

TEST_F(CurlTransportOnSandbox, OneConnectionPoolForTheProcess) {
    // Separate transport objects still share the pool.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(CurlTransport().data(request(echo())).statusCode, 200);
    }
    EXPECT_EQ(echoCount(*sandbox_, "requests"), 20);
    EXPECT_EQ(echoCount(*sandbox_, "connections"), 1);

    // Four threads at once over HTTP/1.1 need at most four connections, reused for every round.
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 5; ++i) {
                    EXPECT_EQ(transport_.data(request(echo())).statusCode, 200);
                }
            });
        }
    }
    EXPECT_EQ(echoCount(*sandbox_, "requests"), 40);
    EXPECT_LE(echoCount(*sandbox_, "connections"), 4);
}

// Decoded bytes are counted as they arrive, so a body that decompresses past the limit stops
// there; a request may lower the limit but not raise it.
TEST_F(CurlTransportOnSandbox, BodyLimitCountsDecodedBytes) {
    struct Row {
        const char* name;
        std::size_t fill;  // decoded bytes after the two-byte opening "[\""
        bool gzip;
        std::optional<std::size_t> requestLimit;
        bool refused;
    };
    const std::size_t limit = CurlTransport::maximumBodySize;
    const std::size_t MiB = 1024 * 1024;
    const Row rows[] = {
        {"plain body at the limit", limit - 4, false, std::nullopt, false},
        {"plain body one byte past it", limit - 3, false, std::nullopt, true},
        {"gzip within the limit decodes whole", 1000, true, std::nullopt, false},
        {"gzip bomb past the limit", 2 * limit, true, std::nullopt, true},
        {"gzip bomb past a raised request limit", 2 * limit, true, 4 * limit, true},
        {"plain body at a request's lower limit", MiB - 4, false, MiB, false},
        {"plain body one byte past it", MiB - 3, false, MiB, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto log = test::CapturingLogSink::install();
        sandbox_->setFault("echo", {boost::json::object{{"status", 200},
                                                        {"body", "[\""},
                                                        {"fill", row.fill},
                                                        {"bodyEnd", "\"]"},
                                                        {"gzip", row.gzip},
                                                        {"contentType", "application/json"}}});
        auto sent = request(echo());
        sent.maximumBodySize = row.requestLimit;
        try {
            EXPECT_EQ(transport_.data(sent).body, "[\"" + std::string(row.fill, 'a') + "\"]");
            EXPECT_FALSE(row.refused);
        } catch (const TransportError& error) {
            EXPECT_TRUE(row.refused) << error.what();
            EXPECT_EQ(error.code(), -1);
        }
        EXPECT_EQ(log->lines().size(), row.refused ? 1u : 0u);  // the limit, not the address
    }
    setLogSink(nullptr);
}

// A local IPv4 address that is not loopback, when the machine has one.
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

// A cpp-httplib server of this process on a system-chosen port, counting the requests that reach
// it; "/" answers "ok".
class Listener {
  public:
    explicit Listener(const std::string& host) {
        server_.set_keep_alive_timeout(1);  // stop() waits for idle keep-alive connections
        server_.Get("/", [this](const httplib::Request&, httplib::Response& response) {
            ++received_;
            response.set_content("ok", "text/plain");
        });
        port_ = server_.bind_to_any_port(host);
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }
    ~Listener() {
        // stop() has no effect before the listening loop runs.
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (!server_.is_running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        server_.stop();
        thread_.join();
    }
    std::string port() const { return std::to_string(port_); }
    int received() const { return received_; }

  private:
    httplib::Server server_;
    std::atomic<int> received_ = 0;
    int port_ = 0;
    std::thread thread_;
};

TEST(CurlTransport, PlainHttpOnlyToLoopbackAndNothingSentOtherwise) {
    // Listening on every address, so a request that went out to the machine's own non-loopback
    // address would be counted.
    Listener listener("0.0.0.0");
    const std::string portText = listener.port();
    CurlTransport transport;
    const auto address = nonLoopbackAddress();
    const struct {
        const char* name;
        std::string url;
        int code;  // 0: answered
    } rows[] = {
        {"own non-loopback address",
         "http://" + address.value_or("192.0.2.1") + ":" + portText + "/", -1},
        {"loopback name as user info", "http://localhost@192.0.2.1:" + portText + "/", -1},
        {"other scheme", "ftp://127.0.0.1:" + portText + "/", -1},
        {"not a URL", "::", -1},
        {"IPv4 loopback", "http://127.0.0.1:" + portText + "/", 0},
        {"another IPv4 loopback address", "http://127.0.0.2:" + portText + "/", 0},
        {"localhost in capitals", "http://LOCALHOST:" + portText + "/", 0},
        {"unknown host over https", "https://no-such-host.invalid/", -1003},
        {"nothing listening (port 1)", "http://127.0.0.1:1/", -1004},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.code == 0) {
            EXPECT_EQ(transport.data(request(row.url)).statusCode, 200);
        } else {
            EXPECT_EQ(transportErrorCode([&] { transport.data(request(row.url)); }), row.code);
        }
    }
    EXPECT_EQ(listener.received(), 3);
}

}  // namespace
}  // namespace loftwing
