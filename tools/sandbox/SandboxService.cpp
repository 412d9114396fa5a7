#include "SandboxService.h"

#include "HttpSupport.h"
#include "ProviderErrors.h"

#include <boost/json.hpp>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#include <cstdlib>
#include <thread>

namespace zevirudi::sandbox {

namespace json = boost::json;

namespace {

// {"method","path","query":{name:value},"headers":{name:value},"body"}; "?status=N" picks the
// status, "?size=N" answers N bytes of "x" instead.
void echoRequest(const httplib::Request& request, httplib::Response& response) {
    int status = 200;
    if (auto asked = queryValue(request, "status")) {
        status = std::atoi(asked->c_str());
    }
    if (status < 200 || status > 599) {
        status = 400;
    }
    if (auto size = queryValue(request, "size")) {
        response.status = status;
        response.set_content(
            std::string(std::strtoul(size->c_str(), nullptr, 10) % (64UL << 20), 'x'),
            "application/octet-stream");
        return;
    }
    // httplib mixes form fields into its parameters; the query comes from the target itself.
    json::object query;
    const auto mark = request.target.find('?');
    if (mark != std::string::npos) {
        for (const auto& [name, value] : parseForm(request.target.substr(mark + 1))
                                             .value_or(std::map<std::string, std::string>{})) {
            query[name] = value;
        }
    }
    json::object headers;
    for (const auto& [name, value] : request.headers) {
        if (name != "REMOTE_ADDR" && name != "REMOTE_PORT" && name != "LOCAL_ADDR" &&
            name != "LOCAL_PORT") {
            headers[name] = value;
        }
    }
    sendJSON(response, status,
             json::object{{"method", request.method},
                          {"path", request.path},
                          {"query", std::move(query)},
                          {"headers", std::move(headers)},
                          {"body", request.body}});
}

// The fault's body: rawBody, the fill, bodyEnd; gzip-compressed slice by slice when asked, so
// that only the compressed bytes are ever held.
std::string assembledBody(const FaultStep& step) {
    std::string block;
    const std::size_t repeats = std::max<std::size_t>(1, 64 * 1024 / step.fillWith.size());
    for (std::size_t i = 0; i < repeats; ++i) {
        block += step.fillWith;
    }
    if (!step.gzip) {
        std::string body = *step.rawBody;
        for (std::size_t left = step.fillBytes; left > 0;) {
            const std::size_t n = std::min(left, block.size());
            body.append(block, 0, n);
            left -= n;
        }
        return body + step.bodyEnd;
    }
    z_stream stream{};
    // 15 window bits, plus 16 for a gzip wrapper.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    std::string out;
    std::array<unsigned char, 64 * 1024> buffer{};
    auto feed = [&](std::string_view slice, int flush) {
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(slice.data()));
        stream.avail_in = static_cast<uInt>(slice.size());
        do {
            stream.next_out = buffer.data();
            stream.avail_out = static_cast<uInt>(buffer.size());
            deflate(&stream, flush);
            out.append(reinterpret_cast<const char*>(buffer.data()),
                       buffer.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    };
    feed(*step.rawBody, Z_NO_FLUSH);
    for (std::size_t left = step.fillBytes; left > 0;) {
        const std::size_t n = std::min(left, block.size());
        feed(std::string_view(block).substr(0, n), Z_NO_FLUSH);
        left -= n;
    }
    feed(step.bodyEnd, Z_FINISH);
    deflateEnd(&stream);
    return out;
}

}  // namespace

SandboxService::SandboxService(std::string baseURL) : baseURL_(std::move(baseURL)) {}

SandboxSettings SandboxService::settings() {
    std::lock_guard lock(mutex_);
    return settings_;
}

void SandboxService::install(httplib::Server& server) {
    for (Provider provider : {Provider::google, Provider::microsoft}) {
        const std::string name(providerName(provider));
        const std::string family = name + ".oauth";
        server.Get("/" + name + "/oauth/authorize",
                   endpoint(family + ".authorize", family,
                            [this, provider](auto& rq, auto& rs) { authorize(provider, rq, rs); }));
        server.Post("/" + name + "/oauth/consent",
                    endpoint(family + ".consent", family,
                             [this, provider](auto& rq, auto& rs) { consent(provider, rq, rs); }));
        server.Post("/" + name + "/oauth/token",
                    endpoint(family + ".token", family,
                             [this, provider](auto& rq, auto& rs) { token(provider, rq, rs); }));
    }
    server.Get("/v1/userinfo", endpoint("google.userinfo", "google.userinfo",
                                        [this](auto& rq, auto& rs) { googleUserinfo(rq, rs); }));
    server.Get("/gmail/v1/users/me/messages",
               endpoint("gmail.list", "gmail", [this](auto& rq, auto& rs) { gmailList(rq, rs); }));
    server.Get(R"(/gmail/v1/users/me/messages/([^/]+))",
               endpoint("gmail.get", "gmail", [this](auto& rq, auto& rs) { gmailGet(rq, rs); }));
    server.Get("/v1.0/me",
               endpoint("graph.me", "graph", [this](auto& rq, auto& rs) { graphMe(rq, rs); }));
    server.Get(
        "/v1.0/me/mailFolders/inbox/messages",
        endpoint("graph.messages", "graph", [this](auto& rq, auto& rs) { graphMessages(rq, rs); }));
    // A plain endpoint for transport tests: it answers what it received.
    const auto echo = endpoint("echo", "echo", [](auto& rq, auto& rs) { echoRequest(rq, rs); });
    const std::string echoPath = R"(/_sandbox/echo(/.*)?)";
    server.Get(echoPath, echo);
    server.Post(echoPath, echo);
    server.Put(echoPath, echo);
    server.Delete(echoPath, echo);
    installAdmin(server);
}

httplib::Server::Handler SandboxService::endpoint(std::string name, std::string family,
                                                  Handler handler) {
    return [this, name = std::move(name), family = std::move(family), handler = std::move(handler)](
               const httplib::Request& request, httplib::Response& response) {
        counters_.requestArrived(name, family);
        FaultInjector::Plan plan = faults_.next(name);
        if (plan.delay.count() > 0) {
            // Simulated provider latency, not a wait for an event.
            std::this_thread::sleep_for(plan.delay);
        }
        if (plan.step) {
            answerFault(name, family, *plan.step, request, response);
            return;
        }
        try {
            handler(request, response);
        } catch (const std::exception& error) {
            sendJSON(
                response, 500,
                json::object{{"error", "sandbox_failure"}, {"error_description", error.what()}});
        }
    };
}

void SandboxService::answerFault(const std::string& name, const std::string& family,
                                 const FaultStep& step, const httplib::Request& request,
                                 httplib::Response& response) {
    if (step.dropConnection) {
        dropConnection(request);
        response.status = 500;
        return;
    }
    if (step.retryAfterSeconds) {
        response.set_header("Retry-After", std::to_string(*step.retryAfterSeconds));
    }
    if (step.rawBody) {
        response.status = step.status;
        if (step.gzip) {
            response.set_header("Content-Encoding", "gzip");
        }
        response.set_content(assembledBody(step), step.contentType.c_str());
        return;
    }
    const std::string message =
        "The sandbox answers " + std::to_string(step.status) + " for " + name + " as instructed.";
    if (name.ends_with(".authorize") || name.ends_with(".consent")) {
        response.status = step.status;
        response.set_content("<!doctype html><title>Error " + std::to_string(step.status) +
                                 "</title><p>" + htmlEscaped(message) + "</p>",
                             "text/html; charset=UTF-8");
        return;
    }
    if (family.ends_with(".oauth")) {
        std::string error = step.oauthError.value_or(
            step.status >= 500
                ? "server_error"
                : (step.status == 429 ? "temporarily_unavailable" : "invalid_request"));
        sendJSON(response, step.status,
                 json::object{{"error", error}, {"error_description", message}});
        return;
    }
    if (family == "graph") {
        sendJSON(response, step.status, graphError(step.status, message));
        return;
    }
    std::vector<std::string> reasons =
        step.reasons.value_or(std::vector<std::string>{googleDefaultReason(step.status)});
    sendJSON(response, step.status, googleAPIError(step.status, message, reasons));
}

}  // namespace zevirudi::sandbox
