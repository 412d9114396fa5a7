#include "FaultInjector.h"

#include <boost/json.hpp>

#include <stdexcept>

namespace zevirudi::sandbox {

namespace json = boost::json;

void FaultInjector::set(const std::string& endpoint, std::deque<FaultStep> queue,
                        std::optional<std::chrono::milliseconds> delay) {
    std::lock_guard lock(mutex_);
    EndpointFaults& faults = endpoints_[endpoint];
    faults.queue = std::move(queue);
    if (delay) {
        faults.delay = *delay;
    }
}

FaultInjector::Plan FaultInjector::next(const std::string& endpoint) {
    std::lock_guard lock(mutex_);
    auto found = endpoints_.find(endpoint);
    if (found == endpoints_.end()) {
        return {};
    }
    Plan plan;
    plan.delay = found->second.delay;
    if (!found->second.queue.empty()) {
        plan.step = std::move(found->second.queue.front());
        found->second.queue.pop_front();
    }
    return plan;
}

json::value FaultInjector::describe() const {
    std::lock_guard lock(mutex_);
    json::object result;
    for (const auto& [endpoint, faults] : endpoints_) {
        json::array queue;
        for (const FaultStep& step : faults.queue) {
            if (step.dropConnection) {
                queue.push_back(json::object{{"drop", true}});
            } else {
                queue.push_back(step.status);
            }
        }
        result[endpoint] =
            json::object{{"queue", std::move(queue)}, {"delayMs", faults.delay.count()}};
    }
    return result;
}

void FaultInjector::clear() {
    std::lock_guard lock(mutex_);
    endpoints_.clear();
}

FaultStep faultStepFromJSON(const json::value& entry) {
    FaultStep step;
    if (entry.is_int64()) {
        step.status = static_cast<int>(entry.as_int64());
    } else if (entry.is_object()) {
        const json::object& object = entry.as_object();
        if (const json::value* drop = object.if_contains("drop"); drop && drop->is_bool()) {
            step.dropConnection = drop->as_bool();
        }
        if (const json::value* status = object.if_contains("status")) {
            step.status = static_cast<int>(status->to_number<std::int64_t>());
        }
        if (const json::value* reasons = object.if_contains("reasons")) {
            step.reasons.emplace();
            for (const json::value& reason : reasons->as_array()) {
                step.reasons->emplace_back(reason.as_string());
            }
        }
        if (const json::value* error = object.if_contains("error")) {
            step.oauthError = std::string(error->as_string());
        }
        if (const json::value* body = object.if_contains("body")) {
            step.rawBody = std::string(body->as_string());
        }
        if (const json::value* fill = object.if_contains("fill")) {
            step.fillBytes = static_cast<std::size_t>(fill->to_number<std::uint64_t>());
        }
        if (const json::value* fillWith = object.if_contains("fillWith")) {
            step.fillWith = std::string(fillWith->as_string());
        }
        if (const json::value* bodyEnd = object.if_contains("bodyEnd")) {
            step.bodyEnd = std::string(bodyEnd->as_string());
        }
        if (const json::value* gzip = object.if_contains("gzip"); gzip && gzip->is_bool()) {
            step.gzip = gzip->as_bool();
        }
        if (const json::value* type = object.if_contains("contentType")) {
            step.contentType = std::string(type->as_string());
        }
        if (const json::value* retryAfter = object.if_contains("retryAfter")) {
            step.retryAfterSeconds = static_cast<int>(retryAfter->to_number<std::int64_t>());
        }
    } else {
        throw std::invalid_argument("a fault is a status number or an object");
    }
    if (step.fillWith.empty() || ((step.fillBytes > 0 || step.gzip) && !step.rawBody)) {
        throw std::invalid_argument("a fill needs a body to follow and a non-empty fillWith");
    }
    if (!step.dropConnection && (step.status < 100 || step.status > 599)) {
        throw std::invalid_argument("a fault status lies between 100 and 599");
    }
    return step;
}

}  // namespace zevirudi::sandbox
