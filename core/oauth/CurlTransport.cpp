#include "oauth/CurlTransport.h"

#include "records/Errors.h"
#include "support/LogSink.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace loftwing {
namespace {

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

struct URLDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using URLHandle = std::unique_ptr<CURLU, URLDeleter>;

struct CurlText {
    char* text = nullptr;
    CurlText() = default;
    CurlText(const CurlText&) = delete;
    CurlText& operator=(const CurlText&) = delete;
    ~CurlText() { curl_free(text); }
};

// One request on its way through the engine. The worker thread owns the easy handle from the
// moment the transfer is submitted until it is finished; the caller reads the outcome only after
// `finished` was set under the engine's mutex.
struct Transfer {
    EasyHandle easy;
    HeaderList headers;
    HTTPResponse response;
    std::size_t maximumBodySize = CurlTransport::maximumBodySize;
    bool bodyTooLarge = false;
    CURLcode result = CURLE_OK;
    long osError = 0;
    bool finished = false;
};

[[noreturn]] void fail(int code, std::string_view what) {
    throw TransportError(code, "CurlTransport: " + std::string(what));
}

void requireOK(CURLcode code, const char* option) {
    if (code != CURLE_OK) {
        fail(-1, std::string("setting ") + option + " failed: " + curl_easy_strerror(code));
    }
}

std::size_t writeBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (bytes > transfer.maximumBodySize - transfer.response.body.size()) {
        transfer.bodyTooLarge = true;
        return 0;  // anything but `bytes` aborts the transfer
    }
    transfer.response.body.append(data, bytes);
    return bytes;
}

std::size_t collectHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto& transfer = *static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    std::string_view line(data, bytes);
    // A status line starts the headers of a new response (after a redirect or a 100 Continue):
    // only the final response's headers are kept.
    if (line.starts_with("HTTP/")) {
        transfer.response.headers.clear();
        return bytes;
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return bytes;
    }
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) {
        value.remove_suffix(1);
    }
    transfer.response.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    return bytes;
}

bool isLoopbackHost(std::string host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
        in6_addr address{};
        return inet_pton(AF_INET6, host.c_str(), &address) == 1 && IN6_IS_ADDR_LOOPBACK(&address);
    }
    in_addr address{};
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) {
        return (ntohl(address.s_addr) >> 24) == 127;
    }
    return strcasecmp(host.c_str(), "localhost") == 0;
}

// The address as curl itself reads it, so that the loopback decision and the connection can never
// disagree about the host. Plain http is refused for every host but a loopback one.
std::string checkedURL(const std::string& text) {
    URLHandle url(curl_url());
    if (!url) {
        fail(-1, "out of memory");
    }
    if (curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        fail(-1, "the address is not a valid URL");
    }
    CurlText scheme, host, full;
    if (curl_url_get(url.get(), CURLUPART_SCHEME, &scheme.text, 0) != CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_HOST, &host.text, 0) != CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_URL, &full.text, 0) != CURLUE_OK) {
        fail(-1, "the address has no scheme or host");
    }
    const std::string_view schemeText(scheme.text);
    if (schemeText == "https") {
        return full.text;
    }
    if (schemeText == "http" && isLoopbackHost(host.text)) {
        return full.text;
    }
    if (schemeText == "http") {
        fail(-1, "plain http is allowed only for loopback addresses");
    }
    fail(-1, "only http and https addresses are supported");
}

bool hasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

int mappedCode(CURLcode result, long osError) {
    switch (result) {
        case CURLE_OPERATION_TIMEDOUT:
            return -1001;
        case CURLE_COULDNT_RESOLVE_HOST:
            return -1003;
        case CURLE_COULDNT_CONNECT:
            return osError == ENETUNREACH || osError == ENETDOWN ? -1009 : -1004;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return -1005;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_USE_SSL_FAILED:
        case CURLE_SSL_SHUTDOWN_FAILED:
        case CURLE_SSL_CRL_BADFILE:
            return -1200;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_ISSUER_ERROR:
            return -1202;
        default:
            return -1;
    }
}

std::shared_ptr<Transfer> prepare(const HTTPRequest& request) {
    const std::string url = checkedURL(request.url);
    auto transfer = std::make_shared<Transfer>();
    transfer->maximumBodySize =
        std::min(request.maximumBodySize.value_or(CurlTransport::maximumBodySize),
                 CurlTransport::maximumBodySize);
    transfer->easy.reset(curl_easy_init());
    if (!transfer->easy) {
        fail(-1, "curl_easy_init failed");
    }
    CURL* easy = transfer->easy.get();
    requireOK(curl_easy_setopt(easy, CURLOPT_URL, url.c_str()), "CURLOPT_URL");
    requireOK(curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L), "CURLOPT_NOSIGNAL");
    requireOK(curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https"), "CURLOPT_PROTOCOLS_STR");
    requireOK(curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "https"),
              "CURLOPT_REDIR_PROTOCOLS_STR");
    requireOK(curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L),
              "CURLOPT_FOLLOWLOCATION");
    requireOK(curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L), "CURLOPT_MAXREDIRS");
    requireOK(curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long{CURL_HTTP_VERSION_2TLS}),
              "CURLOPT_HTTP_VERSION");
    // Over TLS, wait for a multiplexed HTTP/2 stream on a connection being set up rather than
    // opening another: ALPN tells within the handshake. Plain http (loopback only) is HTTP/1.1,
    // which curl learns only from the first answer, so waiting there would serialize requests
    // that should run side by side.
    const long pipeWait = url.rfind("https:", 0) == 0 ? 1L : 0L;
    requireOK(curl_easy_setopt(easy, CURLOPT_PIPEWAIT, pipeWait), "CURLOPT_PIPEWAIT");
    // curl reads 0 as "no time-out"; every request of this system has one.
    const long timeout = std::max<long>(1, static_cast<long>(request.timeout.count()));
    requireOK(curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeout), "CURLOPT_TIMEOUT_MS");
    requireOK(curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, ""), "CURLOPT_ACCEPT_ENCODING");
    requireOK(curl_easy_setopt(easy, CURLOPT_USERAGENT, "Zevirudi"), "CURLOPT_USERAGENT");
    // curl's default write callback prints the body on standard output, which carries the native
    // messaging reply: every handle gets ours.
    requireOK(curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeBody), "CURLOPT_WRITEFUNCTION");
    requireOK(curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get()), "CURLOPT_WRITEDATA");
    requireOK(curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, collectHeader),
              "CURLOPT_HEADERFUNCTION");
    requireOK(curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get()), "CURLOPT_HEADERDATA");

    if (request.method == "GET") {
        requireOK(curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L), "CURLOPT_HTTPGET");
    } else if (request.method == "HEAD") {
        requireOK(curl_easy_setopt(easy, CURLOPT_NOBODY, 1L), "CURLOPT_NOBODY");
    } else {
        if (request.method.empty() || hasLineBreakOrNul(request.method) ||
            request.method.find(' ') != std::string::npos) {
            fail(-1, "the request method is not valid");
        }
        if (request.method != "POST") {
            requireOK(curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str()),
                      "CURLOPT_CUSTOMREQUEST");
        }
        if (request.method == "POST" || !request.body.empty()) {
            requireOK(curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                                       static_cast<curl_off_t>(request.body.size())),
                      "CURLOPT_POSTFIELDSIZE_LARGE");
            requireOK(curl_easy_setopt(easy, CURLOPT_COPYPOSTFIELDS, request.body.c_str()),
                      "CURLOPT_COPYPOSTFIELDS");
        }
    }

    // curl adds a form content type to POST requests and "Expect: 100-continue" to large bodies;
    // only the headers the caller asked for are sent ("Name:" with no value removes curl's own).
    std::vector<std::string> lines;
    bool hasContentType = false;
    for (const auto& [name, value] : request.headers) {
        if (name.empty() || hasLineBreakOrNul(name) || hasLineBreakOrNul(value) ||
            name.find(':') != std::string::npos) {
            fail(-1, "a request header is not valid");
        }
        hasContentType = hasContentType || strcasecmp(name.c_str(), "Content-Type") == 0;
        // "Name;" is curl's spelling of a header with an empty value.
        lines.push_back(value.empty() ? name + ";" : name + ": " + value);
    }
    if (!hasContentType) {
        lines.emplace_back("Content-Type:");
    }
    lines.emplace_back("Expect:");
    for (const auto& line : lines) {
        curl_slist* extended = curl_slist_append(transfer->headers.get(), line.c_str());
        if (!extended) {
            fail(-1, "out of memory");
        }
        transfer->headers.release();
        transfer->headers.reset(extended);
    }
    requireOK(curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers.get()),
              "CURLOPT_HTTPHEADER");
    return transfer;
}

}  // namespace

// The process's one transfer engine. Created on first use and never destroyed, so that leaving
// the process never waits for a transfer in flight.
class CurlTransport::Engine {
  public:
    static Engine& shared() {
        static Engine* const engine = new Engine();
        return *engine;
    }

    HTTPResponse run(const HTTPRequest& request, std::stop_token stop) {
        auto transfer = prepare(request);
        if (stop.stop_requested()) {
            throw OperationCancelled();
        }
        {
            std::lock_guard lock(mutex_);
            submitted_.push_back(transfer);
        }
        curl_multi_wakeup(multi_);

        std::unique_lock lock(mutex_);
        if (!finished_.wait(lock, stop, [&] { return transfer->finished; })) {
            cancelled_.push_back(transfer);
            lock.unlock();
            curl_multi_wakeup(multi_);
            lock.lock();
            finished_.wait(lock, [&] { return transfer->finished; });
            throw OperationCancelled();
        }
        lock.unlock();

        if (transfer->result == CURLE_OK) {
            return std::move(transfer->response);
        }
        if (transfer->bodyTooLarge) {
            // The check says only "network_-1"; the log tells this failure from the others.
            logMessage(LogLevel::warning, "http",
                       "A response body passed its limit of " +
                           std::to_string(transfer->maximumBodySize) +
                           " bytes; the transfer was stopped.");
            fail(-1, "the response body is larger than the request's limit");
        }
        fail(mappedCode(transfer->result, transfer->osError), curl_easy_strerror(transfer->result));
    }

  private:
    Engine() {
        if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            fail(-1, "curl_global_init failed");
        }
        multi_ = curl_multi_init();
        if (!multi_) {
            fail(-1, "curl_multi_init failed");
        }
        curl_multi_setopt(multi_, CURLMOPT_MAXCONNECTS, 32L);
        worker_ = std::thread([this] { work(); });
        worker_.detach();
    }

    void work() {
        // Every socket of the engine is written on this thread. A peer that closes a TLS
        // connection can make a write raise SIGPIPE, which would end the process (the native host
        // with its reply unwritten); blocked here, it stays pending on this thread and harmless.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

        std::map<CURL*, std::shared_ptr<Transfer>> active;
        for (;;) {
            std::vector<std::shared_ptr<Transfer>> added;
            std::vector<std::shared_ptr<Transfer>> cancelled;
            {
                std::lock_guard lock(mutex_);
                added.swap(submitted_);
                cancelled.swap(cancelled_);
            }
            for (auto& transfer : added) {
                CURL* easy = transfer->easy.get();
                if (curl_multi_add_handle(multi_, easy) != CURLM_OK) {
                    finish(*transfer, CURLE_FAILED_INIT);
                    continue;
                }
                active.emplace(easy, std::move(transfer));
            }
            for (auto& transfer : cancelled) {
                const auto found = active.find(transfer->easy.get());
                if (found == active.end()) {
                    continue;  // it finished before the stop request arrived
                }
                curl_multi_remove_handle(multi_, found->first);
                active.erase(found);
                finish(*transfer, CURLE_ABORTED_BY_CALLBACK);
            }

            int running = 0;
            curl_multi_perform(multi_, &running);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
                if (message->msg != CURLMSG_DONE) {
                    continue;
                }
                const auto found = active.find(message->easy_handle);
                if (found == active.end()) {
                    continue;
                }
                auto transfer = std::move(found->second);
                active.erase(found);
                const CURLcode result = message->data.result;
                curl_multi_remove_handle(multi_, transfer->easy.get());
                finish(*transfer, result);
            }
            curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
        }
    }

    // Reads what the caller needs from the handle, releases the handle here on the worker thread,
    // and wakes the caller.
    void finish(Transfer& transfer, CURLcode result) {
        long status = 0;
        curl_easy_getinfo(transfer.easy.get(), CURLINFO_RESPONSE_CODE, &status);
        long osError = 0;
        curl_easy_getinfo(transfer.easy.get(), CURLINFO_OS_ERRNO, &osError);
        transfer.easy.reset();
        transfer.headers.reset();
        {
            std::lock_guard lock(mutex_);
            transfer.response.statusCode = static_cast<int>(status);
            transfer.result = result;
            transfer.osError = osError;
            transfer.finished = true;
        }
        finished_.notify_all();
    }

    CURLM* multi_ = nullptr;
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable_any finished_;
    std::vector<std::shared_ptr<Transfer>> submitted_;
    std::vector<std::shared_ptr<Transfer>> cancelled_;
};

CurlTransport::CurlTransport() : engine_(Engine::shared()) {}

CurlTransport::~CurlTransport() = default;

HTTPResponse CurlTransport::data(const HTTPRequest& request, std::stop_token stop) {
    return engine_.run(request, std::move(stop));
}

}  // namespace loftwing

// The entry point for processes that load the transport at run time (dlopen). The caller owns the
// result; it throws what the constructor throws.
extern "C" __attribute__((visibility("default"))) loftwing::HTTPTransport*
loftwing_create_curl_transport() {
    return new loftwing::CurlTransport();
}
