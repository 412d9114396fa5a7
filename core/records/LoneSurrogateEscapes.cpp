#include "records/LoneSurrogateEscapes.h"

namespace loftwing {
namespace {

constexpr std::size_t escapeLength = 6;  // \uXXXX

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The code unit of a "\uXXXX" escape starting at `at`, or -1 when none starts there.
long codeUnitAt(std::string_view json, std::size_t at) {
    if (at + escapeLength > json.size() || json[at] != '\\' || json[at + 1] != 'u') {
        return -1;
    }
    long unit = 0;
    for (std::size_t i = 2; i < escapeLength; ++i) {
        const int digit = hexValue(json[at + i]);
        if (digit < 0) {
            return -1;
        }
        unit = unit * 16 + digit;
    }
    return unit;
}

bool isHighSurrogate(long unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(long unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::optional<std::string> withLoneSurrogateEscapesReplaced(std::string_view json) {
    // Backslashes occur only inside strings of a valid text, each starting an escape; walking
    // escape by escape keeps "\\" followed by "u" a backslash and a letter. Anything invalid
    // stays as it was, for the parser to refuse.
    std::optional<std::string> out;
    std::size_t at = json.find('\\');
    while (at != std::string_view::npos) {
        const long unit = codeUnitAt(json, at);
        std::size_t next = at + 2;  // any other escape, "\\" and "\"" included
        if (isHighSurrogate(unit) && isLowSurrogate(codeUnitAt(json, at + escapeLength))) {
            next = at + 2 * escapeLength;
        } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
            if (!out) {
                out.emplace(json);
            }
            out->replace(at, escapeLength, "\\ufffd");
            next = at + escapeLength;
        } else if (unit >= 0) {
            next = at + escapeLength;
        }
        at = next < json.size() ? json.find('\\', next) : std::string_view::npos;
    }
    return out;
}

}  // namespace loftwing
