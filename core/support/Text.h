#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace loftwing {

// "Characters" in every limit of the system are user-perceived characters: ICU extended grapheme
// clusters over the UTF-8 text. Invalid UTF-8 sequences count as one character each.
std::size_t characterCount(std::string_view utf8);

// The first `limit` user-perceived characters of the text (all of it when it is shorter).
std::string prefixCharacters(std::string_view utf8, std::size_t limit);

// Removes leading and trailing white space and newlines: Unicode Zs, tab, U+000A to U+000D,
// U+0085, U+2028 and U+2029.
std::string trimmingWhitespaceAndNewlines(std::string_view utf8);

// Whether the code point belongs to the set above.
bool isWhitespaceOrNewline(std::int32_t codePoint);

// Whether the text contains any white-space or newline character of the set above.
bool containsWhitespaceOrNewline(std::string_view utf8);

// Lower- and upper-casing of the whole text with ICU's root-locale full case mapping.
std::string lowercased(std::string_view utf8);
std::string uppercased(std::string_view utf8);

// Whether the bytes are well-formed UTF-8.
bool isValidUTF8(std::string_view bytes);

// Calls visit(codePoint, sequence) for each UTF-8 sequence of the bytes in order; an ill-formed
// sequence is visited with codePoint -1 and its bytes.
void forEachCodePoint(
    std::string_view bytes,
    const std::function<void(std::int32_t codePoint, std::string_view sequence)>& visit);

// The bytes with every ill-formed UTF-8 sequence replaced by U+FFFD (one per maximal subpart, as
// ICU decodes them); well-formed text comes back unchanged.
std::string replacingInvalidUTF8(std::string_view bytes);

}  // namespace loftwing
