#pragma once

#include <boost/json/value.hpp>

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace loftwing::test {

struct ClientResponse {
    int status = 0;  // 0 when the connection failed without an answer
    std::string body;
    std::multimap<std::string, std::string> headers;

    boost::json::value json() const;
    std::string header(const std::string& name) const;
};

// A plain HTTP client to the sandbox's provider endpoints, as the product would call them.
// With `keepAlive` one connection serves all requests; without it every request opens its own.
class SandboxClient {
  public:
    SandboxClient(int port, bool keepAlive);
    ~SandboxClient();

    ClientResponse get(const std::string& pathAndQuery, const std::string& bearer = "");
    // Posts an application/x-www-form-urlencoded body built from the fields (percent-encoded).
    ClientResponse postForm(const std::string& path,
                            const std::map<std::string, std::string>& fields);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The query value `name` of a URL (decoded), e.g. the code in a redirect's Location.
std::optional<std::string> queryItem(const std::string& url, const std::string& name);
std::string formEncoded(const std::string& text);

}  // namespace loftwing::test
