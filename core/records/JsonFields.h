#pragma once

// Field access for the record decoders: required keys must be present with the right JSON type,
// optional keys may be missing or null, unknown keys are ignored.

#include "records/JsonCoding.h"
#include "support/Time.h"

#include <boost/json/array.hpp>
#include <boost/json/object.hpp>
#include <boost/json/value.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace loftwing {

class JsonFields {
  public:
    JsonFields(const boost::json::value& json, const char* record, DateEncoding dates);

    std::string string(std::string_view key) const;
    std::optional<std::string> optionalString(std::string_view key) const;
    bool boolean(std::string_view key) const;
    std::int64_t int64(std::string_view key) const;
    std::optional<std::int64_t> optionalInt64(std::string_view key) const;
    Timestamp date(std::string_view key) const;
    const boost::json::value& required(std::string_view key) const;
    const boost::json::value* optional(std::string_view key) const;

    template <typename T>
    T record(std::string_view key) const {
        return fromJson<T>(required(key), dates_);
    }
    template <typename T>
    std::optional<T> optionalRecord(std::string_view key) const {
        const auto* json = optional(key);
        return json ? std::optional<T>(fromJson<T>(*json, dates_)) : std::nullopt;
    }
    template <typename T>
    std::vector<T> array(std::string_view key) const {
        return elements<T>(required(key), key);
    }
    template <typename T>
    std::optional<std::vector<T>> optionalArray(std::string_view key) const {
        const auto* json = optional(key);
        return json ? std::optional<std::vector<T>>(elements<T>(*json, key)) : std::nullopt;
    }

    [[noreturn]] void fail(std::string_view key, const char* problem) const;

  private:
    template <typename T>
    std::vector<T> elements(const boost::json::value& json, std::string_view key) const {
        const auto* items = json.if_array();
        if (!items) {
            fail(key, "is not an array");
        }
        std::vector<T> out;
        out.reserve(items->size());
        for (const auto& item : *items) {
            if constexpr (std::is_same_v<T, std::string>) {
                const auto* text = item.if_string();
                if (!text) {
                    fail(key, "holds a value that is not a string");
                }
                out.emplace_back(text->data(), text->size());
            } else {
                out.push_back(fromJson<T>(item, dates_));
            }
        }
        return out;
    }

    const boost::json::object* object_;
    const char* record_;
    DateEncoding dates_;
};

// Writers for the encoders.
boost::json::value dateToJson(Timestamp date, DateEncoding dates);
boost::json::value stringsToJson(const std::vector<std::string>& strings);

template <typename T>
boost::json::value recordsToJson(const std::vector<T>& records, DateEncoding dates) {
    boost::json::array out;
    out.reserve(records.size());
    for (const auto& item : records) {
        out.push_back(toJson(item, dates));
    }
    return out;
}

}  // namespace loftwing
