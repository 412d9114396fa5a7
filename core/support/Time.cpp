#include "support/Time.h"

#include <cmath>
#include <cstdio>
#include <limits>

namespace loftwing {

Timestamp currentTime() {
    return std::chrono::time_point_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now());
}

// Both conversions split whole milliseconds from the rest: a nanosecond count near 1.7e18 does
// not fit a double's 53 bits, whole milliseconds (1.7e12) and their fraction do.
double millisecondsSince1970(Timestamp t) {
    const auto whole = std::chrono::floor<std::chrono::milliseconds>(t);
    const auto rest = t - whole;
    return static_cast<double>(whole.time_since_epoch().count()) +
           static_cast<double>(rest.count()) / 1e6;
}

std::optional<Timestamp> fromMillisecondsSince1970(double milliseconds) {
    // int64 nanoseconds cover about ±292 years around 1970: 9.22e12 milliseconds.
    constexpr double limit = 9.2e12;
    if (!std::isfinite(milliseconds) || std::fabs(milliseconds) > limit) {
        return std::nullopt;
    }
    const double whole = std::floor(milliseconds);
    const auto nanoseconds = std::llround((milliseconds - whole) * 1e6);
    return Timestamp{std::chrono::milliseconds{static_cast<std::int64_t>(whole)}} +
           std::chrono::nanoseconds{nanoseconds};
}

double secondsSince1970(Timestamp t) {
    return static_cast<double>(t.time_since_epoch().count()) / 1e9;
}

std::string formatISO8601(Timestamp t) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(t);
    const auto days = std::chrono::floor<std::chrono::days>(seconds);
    const std::chrono::year_month_day ymd{days};
    const std::chrono::hh_mm_ss hms{seconds - days};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(ymd.year()), static_cast<unsigned>(ymd.month()),
                  static_cast<unsigned>(ymd.day()), static_cast<int>(hms.hours().count()),
                  static_cast<int>(hms.minutes().count()), static_cast<int>(hms.seconds().count()));
    return buffer;
}

namespace {

bool readDigits(std::string_view text, std::size_t& pos, std::size_t count, int& out) {
    if (pos + count > text.size()) {
        return false;
    }
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (c < '0' || c > '9') {
            return false;
        }
        value = value * 10 + (c - '0');
    }
    pos += count;
    out = value;
    return true;
}

bool expect(std::string_view text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

std::optional<Timestamp> parseRFC3339(std::string_view text, bool allowFraction) {
    std::size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!readDigits(text, pos, 4, year) || !expect(text, pos, '-') ||
        !readDigits(text, pos, 2, month) || !expect(text, pos, '-') ||
        !readDigits(text, pos, 2, day) || !expect(text, pos, 'T') ||
        !readDigits(text, pos, 2, hour) || !expect(text, pos, ':') ||
        !readDigits(text, pos, 2, minute) || !expect(text, pos, ':') ||
        !readDigits(text, pos, 2, second)) {
        return std::nullopt;
    }
    std::int64_t fractionNanos = 0;
    if (pos < text.size() && text[pos] == '.') {
        if (!allowFraction) {
            return std::nullopt;
        }
        ++pos;
        const std::size_t start = pos;
        std::int64_t scale = 100'000'000;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
            fractionNanos += (text[pos] - '0') * scale;
            scale /= 10;
            ++pos;
        }
        if (pos == start) {
            return std::nullopt;
        }
    }
    int offsetMinutes = 0;
    if (expect(text, pos, 'Z')) {
    } else if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        const int sign = text[pos] == '-' ? -1 : 1;
        ++pos;
        int oh = 0, om = 0;
        if (!readDigits(text, pos, 2, oh) || !expect(text, pos, ':') ||
            !readDigits(text, pos, 2, om) || oh > 23 || om > 59) {
            return std::nullopt;
        }
        offsetMinutes = sign * (oh * 60 + om);
    } else {
        return std::nullopt;
    }
    if (pos != text.size()) {
        return std::nullopt;
    }
    const std::chrono::year_month_day ymd{std::chrono::year{year},
                                          std::chrono::month{static_cast<unsigned>(month)},
                                          std::chrono::day{static_cast<unsigned>(day)}};
    if (!ymd.ok() || hour > 23 || minute > 59 || second > 60) {
        return std::nullopt;
    }
    // Counted in seconds first: years outside about 1678-2261 would overflow the nanosecond
    // count, so such a text is refused like any other text that is not a date.
    const std::chrono::sys_seconds instant = std::chrono::sys_days{ymd} + std::chrono::hours{hour} +
                                             std::chrono::minutes{minute - offsetMinutes} +
                                             std::chrono::seconds{second};
    const auto earliest = std::chrono::ceil<std::chrono::seconds>(Timestamp::min());
    const auto latest =
        std::chrono::floor<std::chrono::seconds>(Timestamp::max()) - std::chrono::seconds{1};
    if (instant < earliest || instant > latest) {
        return std::nullopt;
    }
    return Timestamp{instant} + std::chrono::nanoseconds{fractionNanos};
}

std::optional<Timestamp> parseISO8601(std::string_view text) {
    return parseRFC3339(text, false);
}

}  // namespace loftwing
