#include "connection/LoopbackRedirectListener.h"

#include "records/Errors.h"
#include "support/LogSink.h"

#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <string_view>
#include <system_error>

namespace zevirudi {
namespace {

using Clock = std::chrono::steady_clock;

// A request line and headers beyond this are no browser's redirect.
constexpr std::size_t maximumRequestBytes = 16 * 1024;
// Browsers open spare connections that never send anything; each gets this long.
constexpr auto readTimeLimit = std::chrono::seconds(10);
constexpr std::size_t maximumConnections = 8;
constexpr timeval sendTimeLimit{5, 0};

constexpr std::string_view redirectPage =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>Zevirudi</title></head>"
    "<body><p>You can return to Zevirudi.</p></body></html>";

struct LoopbackHost {
    int family;
    std::string_view address;
};

std::vector<LoopbackHost> loopbackHosts(std::string_view host) {
    if (host == "127.0.0.1") {
        return {{AF_INET, "127.0.0.1"}};
    }
    if (host == "[::1]") {
        return {{AF_INET6, "::1"}};
    }
    if (host == "localhost") {
        // The browser may try either address for "localhost"; the first one fixes the port.
        return {{AF_INET, "127.0.0.1"}, {AF_INET6, "::1"}};
    }
    return {};
}

std::string asciiLowercase(std::string_view text) {
    std::string out(text);
    std::ranges::transform(out, out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

std::optional<boost::urls::url> loopbackURI(const std::string& redirectURI) {
    const auto parsed = boost::urls::parse_uri(redirectURI);
    if (!parsed || asciiLowercase(parsed->scheme()) != "http" || parsed->has_userinfo() ||
        loopbackHosts(asciiLowercase(parsed->encoded_host())).empty()) {
        return std::nullopt;
    }
    return boost::urls::url(*parsed);
}

// Binds and listens; returns the socket and the port it got.
std::pair<int, std::uint16_t> listenOn(const LoopbackHost& host, std::uint16_t port) {
    const int fd = ::socket(host.family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::system_error(errno, std::generic_category(), "socket");
    }
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (host.family == AF_INET) {
        auto* address = reinterpret_cast<sockaddr_in*>(&storage);
        address->sin_family = AF_INET;
        address->sin_port = htons(port);
        ::inet_pton(AF_INET, std::string(host.address).c_str(), &address->sin_addr);
        length = sizeof(sockaddr_in);
    } else {
        const int only = 1;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &only, sizeof only);
        auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_port = htons(port);
        ::inet_pton(AF_INET6, std::string(host.address).c_str(), &address->sin6_addr);
        length = sizeof(sockaddr_in6);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
        const int error = errno;
        ::close(fd);
        throw std::system_error(error, std::generic_category(), "bind loopback redirect");
    }
    const std::uint16_t bound = host.family == AF_INET
                                    ? ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port)
                                    : ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port);
    return {fd, bound};
}

void sendResponse(int fd, std::string_view status, std::string_view body) {
    const std::string response = "HTTP/1.1 " + std::string(status) +
                                 "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                                 std::to_string(body.size()) +
                                 "\r\nCache-Control: no-store\r\nReferrer-Policy: no-referrer"
                                 "\r\nConnection: close\r\n\r\n" +
                                 std::string(body);
    std::size_t sent = 0;
    while (sent < response.size()) {
        const ssize_t n = ::send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;  // the browser went away or stopped reading: nothing more to tell it
        }
        sent += static_cast<std::size_t>(n);
    }
}

struct Connection {
    int fd;
    Clock::time_point deadline;
    std::string received;
};

}  // namespace

bool LoopbackRedirectListener::isLoopback(const std::string& redirectURI) {
    return loopbackURI(redirectURI).has_value();
}

LoopbackRedirectListener::LoopbackRedirectListener(const std::string& redirectURI) {
    auto uri = loopbackURI(redirectURI);
    if (!uri) {
        throw loftwing::LoftwingMultiError::invalidData();
    }
    const auto hosts = loopbackHosts(asciiLowercase(uri->encoded_host()));
    try {
        auto [fd, port] = listenOn(hosts.front(), uri->port_number());
        listeners_.push_back(fd);
        for (std::size_t i = 1; i < hosts.size(); ++i) {
            try {
                listeners_.push_back(listenOn(hosts[i], port).first);
            } catch (const std::system_error&) {
                // A machine without IPv6 loopback still has the first address.
            }
        }
        if (uri->port_number() == 0) {
            uri->set_port_number(port);
        }
        int stopPipe[2];
        if (::pipe2(stopPipe, O_CLOEXEC) != 0) {
            throw std::system_error(errno, std::generic_category(), "pipe2");
        }
        stopRead_ = stopPipe[0];
        stopWrite_ = stopPipe[1];
    } catch (...) {
        closeListeners();
        throw;
    }
    redirectURI_ = std::string(uri->buffer());
    origin_ = "http://" + std::string(uri->encoded_host_and_port());
    path_ = uri->encoded_path().empty() ? "/" : std::string(uri->encoded_path());
}

LoopbackRedirectListener::~LoopbackRedirectListener() {
    if (thread_.joinable()) {
        const char stop = 's';
        [[maybe_unused]] const auto written = ::write(stopWrite_, &stop, 1);
        thread_.join();
    }
    closeListeners();
    if (stopRead_ >= 0) {
        ::close(stopRead_);
        ::close(stopWrite_);
    }
}

void LoopbackRedirectListener::closeListeners() {
    for (const int fd : listeners_) {
        ::close(fd);
    }
    listeners_.clear();
}

void LoopbackRedirectListener::start(std::function<void(const std::string& url)> onRedirect) {
    thread_ = std::thread([this, onRedirect = std::move(onRedirect)] { serve(onRedirect); });
}

void LoopbackRedirectListener::serve(const std::function<void(const std::string&)>& onRedirect) {
    std::vector<Connection> connections;
    const auto drop = [&](std::size_t index) {
        ::close(connections[index].fd);
        connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(index));
    };
    std::optional<std::string> redirect;
    while (!redirect) {
        std::vector<pollfd> watched{{stopRead_, POLLIN, 0}};
        for (const Connection& connection : connections) {
            watched.push_back({connection.fd, POLLIN, 0});
        }
        // At the limit, further browsers wait in the listen queue.
        if (connections.size() < maximumConnections) {
            for (const int fd : listeners_) {
                watched.push_back({fd, POLLIN, 0});
            }
        }
        int timeout = -1;
        if (!connections.empty()) {
            const auto first = std::ranges::min(connections, {}, &Connection::deadline).deadline;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(first - Clock::now());
            timeout = static_cast<int>(std::max<std::int64_t>(0, left.count()) + 1);
        }
        if (::poll(watched.data(), watched.size(), timeout) < 0) {
            if (errno == EINTR) {
                continue;
            }
            loftwing::logMessage(loftwing::LogLevel::error, "accounts",
                                 "The loopback redirect stopped listening: poll failed");
            break;
        }
        if (watched[0].revents != 0) {
            break;
        }
        // Connections first, in the order they came; the listeners' entries follow them.
        const std::size_t firstListener = connections.size() + 1;
        for (std::size_t i = connections.size(); i-- > 0;) {
            const short events = watched[i + 1].revents;
            Connection& connection = connections[i];
            if (events == 0) {
                if (Clock::now() >= connection.deadline) {
                    drop(i);
                }
                continue;
            }
            char buffer[4096];
            const ssize_t n = ::recv(connection.fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                drop(i);
                continue;
            }
            connection.received.append(buffer, static_cast<std::size_t>(n));
            const auto headerEnd = connection.received.find("\r\n\r\n");
            if (headerEnd == std::string::npos) {
                if (connection.received.size() > maximumRequestBytes) {
                    sendResponse(connection.fd, "431 Request Header Fields Too Large", "");
                    drop(i);
                }
                continue;
            }
            const std::string_view line =
                std::string_view(connection.received).substr(0, connection.received.find("\r\n"));
            const auto firstSpace = line.find(' ');
            const auto lastSpace = line.rfind(' ');
            const std::string_view target =
                firstSpace == lastSpace ? std::string_view()
                                        : line.substr(firstSpace + 1, lastSpace - firstSpace - 1);
            if (line.substr(0, firstSpace) == "GET" && target.starts_with('/') &&
                target.substr(0, target.find('?')) == path_ && !redirect) {
                sendResponse(connection.fd, "200 OK", redirectPage);
                redirect = origin_ + std::string(target);
            } else {
                sendResponse(connection.fd, "404 Not Found", "<!doctype html><p>Not found.</p>");
            }
            drop(i);
        }
        if (redirect) {
            break;
        }
        for (std::size_t i = firstListener; i < watched.size(); ++i) {
            if (watched[i].revents == 0) {
                continue;
            }
            const int client = ::accept4(watched[i].fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                continue;
            }
            ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &sendTimeLimit, sizeof sendTimeLimit);
            connections.push_back({client, Clock::now() + readTimeLimit, {}});
        }
    }
    while (!connections.empty()) {
        drop(connections.size() - 1);
    }
    // Once one redirect is in, nothing listens any more.
    closeListeners();
    if (redirect) {
        onRedirect(*redirect);
    }
}

}  // namespace zevirudi
