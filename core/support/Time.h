#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace loftwing {

// An instant with sub-second precision. Nanoseconds keep provider timestamps (milliseconds, and
// Graph's seven fractional digits) exact.
using Timestamp = std::chrono::sys_time<std::chrono::nanoseconds>;

Timestamp currentTime();

// Milliseconds since 1970 as a floating-point number, and back (rounded to the nanosecond).
// fromMillisecondsSince1970 returns nothing for values outside the representable range or NaN.
double millisecondsSince1970(Timestamp t);
std::optional<Timestamp> fromMillisecondsSince1970(double milliseconds);
double secondsSince1970(Timestamp t);

// ISO 8601 internet date-time in UTC with whole seconds ("2026-12-06T18:27:37Z"); fractions of a
// second are dropped. Parsing accepts exactly that form (Z or a numeric offset) and nothing with
// fractional seconds.
std::string formatISO8601(Timestamp t);
std::optional<Timestamp> parseISO8601(std::string_view text);

// RFC 3339 date-time with a mandatory zone; fractional seconds optional (any number of digits).
std::optional<Timestamp> parseRFC3339(std::string_view text, bool allowFraction);

}  // namespace loftwing
