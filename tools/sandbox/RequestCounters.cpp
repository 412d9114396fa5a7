#include "RequestCounters.h"

#include <boost/json.hpp>

#include <set>

namespace zevirudi::sandbox {

namespace json = boost::json;

namespace {

// The connection a server thread is serving: its counting generation and the families its
// requests have reached. A thread serves one connection at a time, from accept to close.
struct ConnectionState {
    std::uint64_t generation = 0;
    std::set<std::string> families;
};
thread_local ConnectionState currentConnection;

}  // namespace

void RequestCounters::connectionAccepted() {
    std::lock_guard lock(mutex_);
    ++connections_;
    currentConnection = ConnectionState{generation_, {}};
}

void RequestCounters::requestArrived(const std::string& endpoint, const std::string& family) {
    std::lock_guard lock(mutex_);
    ++requestsPerEndpoint_[endpoint];
    if (currentConnection.generation != generation_) {
        // Accepted before the last reset: it is not a new connection now.
        return;
    }
    if (currentConnection.families.insert(family).second) {
        ++connectionsPerFamily_[family];
    }
}

json::value RequestCounters::snapshot() const {
    std::lock_guard lock(mutex_);
    json::object requests;
    for (const auto& [endpoint, count] : requestsPerEndpoint_) {
        requests[endpoint] = count;
    }
    json::object families;
    for (const auto& [family, count] : connectionsPerFamily_) {
        families[family] = count;
    }
    return json::object{
        {"requests", std::move(requests)},
        {"connections", json::object{{"total", connections_}, {"families", std::move(families)}}},
    };
}

void RequestCounters::reset() {
    std::lock_guard lock(mutex_);
    ++generation_;
    connections_ = 0;
    connectionsPerFamily_.clear();
    requestsPerEndpoint_.clear();
}

}  // namespace zevirudi::sandbox
