#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace loftwing {

// JSON text in which every "\uXXXX" escape of a UTF-16 surrogate that is not half of a high-low
// pair reads "\ufffd" (U+FFFD, the replacement character); nothing when the text has no such
// escape, so that the common case parses the original without a copy. A provider that cuts a
// preview inside an emoji sends one half of the pair, and a strict parser would refuse the whole
// answer for it. Escapes keep their length, so offsets into the result are offsets into the input.
std::optional<std::string> withLoneSurrogateEscapesReplaced(std::string_view json);

}  // namespace loftwing
