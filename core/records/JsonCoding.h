#pragma once

#include <boost/json/value.hpp>

#include <cstddef>
#include <string>
#include <string_view>

namespace loftwing {

// How dates are written and read: native messaging frames carry milliseconds since 1970 as a JSON
// number; keyring items carry ISO 8601 text with whole seconds in UTC.
enum class DateEncoding { millisecondsSince1970, iso8601 };

// Every record declares `boost::json::value toJson(const Record&, DateEncoding)` beside itself and
// specialises fromJson. Decoding throws JsonDecodingError naming the record and key.
template <typename T>
T fromJson(const boost::json::value& json, DateEncoding dates);

// Strict parse (valid UTF-8, no comments, no trailing commas) of one JSON text, except that an
// escape of a lone UTF-16 surrogate reads as U+FFFD (see LoneSurrogateEscapes.h).
boost::json::value parseJson(std::string_view text, std::size_t maxDepth = 32);
std::string serializeJson(const boost::json::value& json);

template <typename T>
std::string encodeJson(const T& value, DateEncoding dates) {
    return serializeJson(toJson(value, dates));
}

template <typename T>
T decodeJson(std::string_view text, DateEncoding dates) {
    return fromJson<T>(parseJson(text), dates);
}

}  // namespace loftwing
