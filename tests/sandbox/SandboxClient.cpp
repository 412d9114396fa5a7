#include "SandboxClient.h"

#include <httplib.h>

#include <boost/json.hpp>
#include <boost/url.hpp>

#include <cctype>

namespace loftwing::test {

boost::json::value ClientResponse::json() const {
    return boost::json::parse(body);
}

std::string ClientResponse::header(const std::string& name) const {
    auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

struct SandboxClient::Impl {
    explicit Impl(int port) : client("127.0.0.1", port) {}
    httplib::Client client;
};

SandboxClient::SandboxClient(int port, bool keepAlive) : impl_(std::make_unique<Impl>(port)) {
    impl_->client.set_keep_alive(keepAlive);
    impl_->client.set_tcp_nodelay(true);
    impl_->client.set_read_timeout(std::chrono::seconds(30));
}

SandboxClient::~SandboxClient() = default;

namespace {

ClientResponse converted(const httplib::Result& result) {
    ClientResponse response;
    if (!result) {
        return response;
    }
    response.status = result->status;
    response.body = result->body;
    for (const auto& [name, value] : result->headers) {
        response.headers.emplace(name, value);
    }
    return response;
}

}  // namespace

ClientResponse SandboxClient::get(const std::string& pathAndQuery, const std::string& bearer) {
    httplib::Headers headers{{"Accept", "application/json"}};
    if (!bearer.empty()) {
        headers.emplace("Authorization", "Bearer " + bearer);
    }
    return converted(impl_->client.Get(pathAndQuery.c_str(), headers));
}

ClientResponse SandboxClient::postForm(const std::string& path,
                                       const std::map<std::string, std::string>& fields) {
    std::string body;
    for (const auto& [name, value] : fields) {
        body += (body.empty() ? "" : "&") + formEncoded(name) + "=" + formEncoded(value);
    }
    return converted(impl_->client.Post(path.c_str(), body, "application/x-www-form-urlencoded"));
}

std::optional<std::string> queryItem(const std::string& url, const std::string& name) {
    auto parsed = boost::urls::parse_uri_reference(url);
    if (!parsed) {
        return std::nullopt;
    }
    for (const auto& param : parsed->params()) {
        if (param.key == name) {
            return std::string(param.value);
        }
    }
    return std::nullopt;
}

std::string formEncoded(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string encoded;
    for (char character : text) {
        const auto c = static_cast<unsigned char>(character);
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hex[c >> 4];
            encoded += hex[c & 15];
        }
    }
    return encoded;
}

}  // namespace loftwing::test
