#pragma once

#include <boost/json/value.hpp>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace zevirudi::sandbox {

// Requests per endpoint and TCP connections accepted, in total and per endpoint family. A
// connection counts for a family the first time one of its requests reaches that family, so a
// client that reuses its connections shows fewer connections than requests. Thread-safe.
class RequestCounters {
  public:
    // Called once per accepted connection, on the thread that then serves it.
    void connectionAccepted();
    // Called for each request on the thread that serves its connection.
    void requestArrived(const std::string& endpoint, const std::string& family);

    boost::json::value snapshot() const;
    void reset();

  private:
    mutable std::mutex mutex_;
    std::uint64_t generation_ = 0;  // connections accepted before a reset count no more
    std::uint64_t connections_ = 0;
    std::map<std::string, std::uint64_t> connectionsPerFamily_;
    std::map<std::string, std::uint64_t> requestsPerEndpoint_;
};

}  // namespace zevirudi::sandbox
