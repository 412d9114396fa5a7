#include "HttpSupport.h"

#include <boost/json.hpp>
#include <boost/url.hpp>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cctype>
#include <charconv>
#include <cstring>
#include <filesystem>

namespace zevirudi::sandbox {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

int portOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        sockaddr_in ipv4{};
        std::memcpy(&ipv4, &address, sizeof ipv4);
        return ntohs(ipv4.sin_port);
    }
    if (address.ss_family == AF_INET6) {
        sockaddr_in6 ipv6{};
        std::memcpy(&ipv6, &address, sizeof ipv6);
        return ntohs(ipv6.sin6_port);
    }
    return -1;
}

}  // namespace

void sendJSON(httplib::Response& response, int status, const boost::json::value& body) {
    response.status = status;
    response.set_content(boost::json::serialize(body), "application/json; charset=UTF-8");
}

std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace) {
    std::string decoded;
    decoded.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '+' && plusIsSpace) {
            decoded += ' ';
            continue;
        }
        if (c != '%') {
            decoded += c;
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        int high = hexDigit(text[i + 1]);
        int low = hexDigit(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

std::optional<std::map<std::string, std::string>> parseForm(std::string_view body) {
    std::map<std::string, std::string> fields;
    while (!body.empty()) {
        std::size_t end = body.find('&');
        std::string_view pair = body.substr(0, end);
        body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
        if (pair.empty()) {
            continue;
        }
        std::size_t equals = pair.find('=');
        auto name = percentDecode(pair.substr(0, equals), true);
        auto value = percentDecode(
            equals == std::string_view::npos ? std::string_view() : pair.substr(equals + 1), true);
        if (!name || !value || !fields.emplace(*name, *value).second) {
            return std::nullopt;
        }
    }
    return fields;
}

std::string bearerToken(const httplib::Request& request) {
    std::string header = request.get_header_value("Authorization");
    constexpr std::string_view scheme = "bearer ";
    if (header.size() <= scheme.size()) {
        return {};
    }
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(header[i])) != scheme[i]) {
            return {};
        }
    }
    return header.substr(scheme.size());
}

std::optional<std::string> queryValue(const httplib::Request& request, const std::string& name) {
    if (!request.has_param(name.c_str())) {
        return std::nullopt;
    }
    return request.get_param_value(name.c_str());
}

std::optional<std::string> withQueryItems(
    const std::string& base, const std::vector<std::pair<std::string, std::string>>& items) {
    auto parsed = boost::urls::parse_uri_reference(base);
    if (!parsed) {
        return std::nullopt;
    }
    boost::urls::url url(*parsed);
    for (const auto& [name, value] : items) {
        url.params().append({name, value});
    }
    return std::string(url.buffer());
}

void dropConnection(const httplib::Request& request) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        int fd = -1;
        std::string name = entry.path().filename().string();
        if (std::from_chars(name.data(), name.data() + name.size(), fd).ec != std::errc()) {
            continue;
        }
        sockaddr_storage local{};
        sockaddr_storage peer{};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLength) != 0 ||
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
            continue;
        }
        if (portOf(local) != request.local_port || portOf(peer) != request.remote_port) {
            continue;
        }
        // A zero linger turns the close into a reset: the client sees the connection lost.
        linger reset{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        shutdown(fd, SHUT_RDWR);
    }
}

std::string htmlEscaped(std::string_view text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            case '\'':
                escaped += "&#39;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace zevirudi::sandbox
