#include "records/JsonFields.h"

#include "records/Errors.h"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include <cmath>

namespace loftwing {

boost::json::value parseJson(std::string_view text, std::size_t maxDepth) {
    boost::json::parse_options options;
    options.max_depth = maxDepth;
    boost::system::error_code error;
    auto json = boost::json::parse(boost::json::string_view(text.data(), text.size()), error,
                                   boost::json::storage_ptr(), options);
    if (error) {
        throw JsonDecodingError("The data is not valid JSON: " + error.message());
    }
    return json;
}

std::string serializeJson(const boost::json::value& json) {
    return boost::json::serialize(json);
}

JsonFields::JsonFields(const boost::json::value& json, const char* record, DateEncoding dates)
    : object_(json.if_object()), record_(record), dates_(dates) {
    if (!object_) {
        throw JsonDecodingError(std::string(record) + " is not a JSON object.");
    }
}

void JsonFields::fail(std::string_view key, const char* problem) const {
    throw JsonDecodingError(std::string(record_) + ": \"" + std::string(key) + "\" " + problem +
                            ".");
}

const boost::json::value* JsonFields::optional(std::string_view key) const {
    const auto* json = object_->if_contains(boost::json::string_view(key.data(), key.size()));
    if (!json || json->is_null()) {
        return nullptr;
    }
    return json;
}

const boost::json::value& JsonFields::required(std::string_view key) const {
    const auto* json = object_->if_contains(boost::json::string_view(key.data(), key.size()));
    if (!json) {
        fail(key, "is missing");
    }
    return *json;
}

std::string JsonFields::string(std::string_view key) const {
    const auto* text = required(key).if_string();
    if (!text) {
        fail(key, "is not a string");
    }
    return std::string(text->data(), text->size());
}

std::optional<std::string> JsonFields::optionalString(std::string_view key) const {
    const auto* json = optional(key);
    if (!json) {
        return std::nullopt;
    }
    const auto* text = json->if_string();
    if (!text) {
        fail(key, "is not a string");
    }
    return std::string(text->data(), text->size());
}

bool JsonFields::boolean(std::string_view key) const {
    const auto* flag = required(key).if_bool();
    if (!flag) {
        fail(key, "is not a Boolean");
    }
    return *flag;
}

namespace {

// A whole number of the signed 64-bit range, also when written with a fraction of zero.
std::optional<std::int64_t> asInt64(const boost::json::value& json) {
    if (const auto* i = json.if_int64()) {
        return *i;
    }
    if (const auto* u = json.if_uint64()) {
        if (*u <= static_cast<std::uint64_t>(INT64_MAX)) {
            return static_cast<std::int64_t>(*u);
        }
        return std::nullopt;
    }
    if (const auto* d = json.if_double()) {
        if (std::isfinite(*d) && std::trunc(*d) == *d && *d >= -9223372036854775808.0 &&
            *d < 9223372036854775808.0) {
            return static_cast<std::int64_t>(*d);
        }
    }
    return std::nullopt;
}

}  // namespace

std::int64_t JsonFields::int64(std::string_view key) const {
    const auto value = asInt64(required(key));
    if (!value) {
        fail(key, "is not a 64-bit integer");
    }
    return *value;
}

std::optional<std::int64_t> JsonFields::optionalInt64(std::string_view key) const {
    const auto* json = optional(key);
    if (!json) {
        return std::nullopt;
    }
    const auto value = asInt64(*json);
    if (!value) {
        fail(key, "is not a 64-bit integer");
    }
    return value;
}

Timestamp JsonFields::date(std::string_view key) const {
    const auto& json = required(key);
    if (dates_ == DateEncoding::iso8601) {
        const auto* text = json.if_string();
        if (!text) {
            fail(key, "is not an ISO 8601 date text");
        }
        const auto parsed = parseISO8601(std::string_view(text->data(), text->size()));
        if (!parsed) {
            fail(key, "is not an ISO 8601 date with whole seconds");
        }
        return *parsed;
    }
    if (!json.is_number()) {
        fail(key, "is not a number of milliseconds");
    }
    const auto parsed = fromMillisecondsSince1970(json.to_number<double>());
    if (!parsed) {
        fail(key, "is out of the date range");
    }
    return *parsed;
}

boost::json::value dateToJson(Timestamp date, DateEncoding dates) {
    if (dates == DateEncoding::iso8601) {
        return boost::json::string(formatISO8601(date));
    }
    const double milliseconds = millisecondsSince1970(date);
    // Whole milliseconds are written as integers so readers see 1700000000123, not 1.7E12.
    if (date.time_since_epoch().count() % 1'000'000 == 0) {
        return date.time_since_epoch().count() / 1'000'000;
    }
    return milliseconds;
}

boost::json::value stringsToJson(const std::vector<std::string>& strings) {
    boost::json::array out;
    out.reserve(strings.size());
    for (const auto& text : strings) {
        out.emplace_back(text);
    }
    return out;
}

}  // namespace loftwing
