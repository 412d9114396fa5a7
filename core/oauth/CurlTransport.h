#pragma once

#include "oauth/HTTPTransport.h"

#include <cstddef>
#include <memory>

namespace loftwing {

// HTTPTransport on libcurl. Every CurlTransport of the process hands its requests to one transfer
// engine (one curl multi handle driven by one worker thread), so all requests share one connection
// pool and HTTP/2 connections are multiplexed. libcurl does not support sharing a connection cache
// between concurrently running easy handles of different threads, which is why the transfers run
// on one thread and the callers wait for their results.
//
// - HTTP/2 over TLS where the server offers it; HTTP/1.1 otherwise.
// - Only https, and plain http to loopback hosts (127.0.0.0/8, ::1, localhost); any other address
//   fails with TransportError(-1) before anything is sent.
// - The request's time-out covers the whole transfer (TransportError -1001).
// - A stop request ends the call with OperationCancelled within a few milliseconds.
// - A body over 4 MiB (after content decoding), or over the request's own lower limit, fails with
//   TransportError(-1); the transfer stops there, so a compressed body that decodes to gigabytes
//   costs no more than the limit.
// - Redirects are followed to https addresses only, at most 10 times (a redirect elsewhere fails
//   with TransportError(-1)), unless the request asks for redirects to be returned as they are.
// Thread-safe: any number of threads may call data() at once.
class CurlTransport : public HTTPTransport {
  public:
    // Twenty Graph messages of 200 KB of html each fit; a poll holds up to five bodies at once
    // (four Gmail fetches and the Graph list), each briefly twice while it is parsed.
    static constexpr std::size_t maximumBodySize = 4 * 1024 * 1024;

    CurlTransport();
    ~CurlTransport() override;
    CurlTransport(const CurlTransport&) = delete;
    CurlTransport& operator=(const CurlTransport&) = delete;

    HTTPResponse data(const HTTPRequest& request, std::stop_token stop = {}) override;

  private:
    class Engine;
    Engine& engine_;
};

}  // namespace loftwing
