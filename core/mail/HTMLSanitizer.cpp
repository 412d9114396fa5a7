#include "mail/HTMLSanitizer.h"

#include <unicode/uchar.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// ICU's UTF-8 and UTF-16 macros are written in C style.
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wconversion"

namespace loftwing {
namespace {

constexpr std::size_t npos = std::string_view::npos;

// The code point at `position` and the offset just past it.
UChar32 codePointAt(std::string_view text, std::size_t position, std::size_t& next) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    auto offset = static_cast<std::int32_t>(position);
    UChar32 c = 0;
    U8_NEXT(bytes, offset, length, c);
    next = static_cast<std::size_t>(offset);
    return c < 0 ? 0xFFFD : c;
}

UChar32 codePointBefore(std::string_view text, std::size_t position, std::size_t& previous) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    auto offset = static_cast<std::int32_t>(position);
    UChar32 c = 0;
    U8_PREV(bytes, 0, offset, c);
    previous = static_cast<std::size_t>(offset);
    return c < 0 ? 0xFFFD : c;
}

// The letters, marks, digits and joiners that ICU's \w (and so its default \b) counts as word
// characters.
const icu::UnicodeSet& wordCharacters() {
    static const icu::UnicodeSet set = [] {
        UErrorCode status = U_ZERO_ERROR;
        icu::UnicodeSet word(
            icu::UnicodeString(u"[\\p{Alphabetic}\\p{M}\\p{Nd}\\p{Pc}\\u200c\\u200d]"), status);
        word.freeze();
        return word;
    }();
    return set;
}

// Combining characters are transparent to ICU's word boundary.
bool isTransparentToWordBoundary(UChar32 c) {
    return u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND) || u_charType(c) == U_FORMAT_CHAR;
}

// ICU's default \b at `position`: a word character on exactly one side, where the character
// after must not be a combining one and the character before is the nearest non-combining one.
bool isWordBoundary(std::string_view text, std::size_t position) {
    bool afterIsWord = false;
    if (position < text.size()) {
        std::size_t next = 0;
        const UChar32 after = codePointAt(text, position, next);
        if (isTransparentToWordBoundary(after)) {
            return false;
        }
        afterIsWord = wordCharacters().contains(after);
    }
    bool beforeIsWord = false;
    std::size_t cursor = position;
    while (cursor > 0) {
        const UChar32 before = codePointBefore(text, cursor, cursor);
        if (!isTransparentToWordBoundary(before)) {
            beforeIsWord = wordCharacters().contains(before);
            break;
        }
    }
    return afterIsWord != beforeIsWord;
}

// Where text at `position`, read with full case folding, spells exactly `lowerName` (ASCII lower
// case): the offset after it, or nothing. A character whose folding runs past the end of the name
// (such as a ligature standing for its last letter and one more) does not match, as in ICU.
std::optional<std::size_t> foldedNameEnd(std::string_view text, std::size_t position,
                                         std::string_view lowerName) {
    std::size_t matched = 0;
    while (matched < lowerName.size()) {
        if (position >= text.size()) {
            return std::nullopt;
        }
        const auto byte = static_cast<unsigned char>(text[position]);
        if (byte < 0x80) {
            const char folded =
                byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : static_cast<char>(byte);
            if (folded != lowerName[matched]) {
                return std::nullopt;
            }
            ++matched;
            ++position;
            continue;
        }
        std::size_t next = 0;
        const UChar32 c = codePointAt(text, position, next);
        std::array<UChar, 2> source{};
        std::int32_t sourceLength = 0;
        U16_APPEND_UNSAFE(source.data(), sourceLength, c);
        std::array<UChar, 8> folded{};
        UErrorCode status = U_ZERO_ERROR;
        const std::int32_t foldedLength =
            u_strFoldCase(folded.data(), static_cast<std::int32_t>(folded.size()), source.data(),
                          sourceLength, U_FOLD_CASE_DEFAULT, &status);
        if (U_FAILURE(status) || foldedLength <= 0) {
            return std::nullopt;
        }
        for (std::int32_t i = 0; i < foldedLength; ++i) {
            if (matched >= lowerName.size() ||
                folded[static_cast<std::size_t>(i)] != static_cast<UChar>(lowerName[matched])) {
                return std::nullopt;
            }
            ++matched;
        }
        position = next;
    }
    return position;
}

// Finds the first occurrence at or after a start offset, remembering the last answer. Starts only
// grow during one pass, so an answer at or after the new start is still the first one, and an
// absent answer stays absent: every byte is examined a bounded number of times.
template <typename Find>
class ForwardSearch {
  public:
    explicit ForwardSearch(Find find) : find_(find) {}

    std::size_t from(std::size_t start) {
        const bool cached =
            searched_ && start >= searchedFrom_ && (found_ == npos || found_ >= start);
        if (!cached) {
            found_ = find_(start);
            searchedFrom_ = start;
            searched_ = true;
        }
        return found_;
    }

  private:
    Find find_;
    bool searched_ = false;
    std::size_t searchedFrom_ = 0;
    std::size_t found_ = npos;
};

// The offset where a closing tag "</" name ">" (name read with case folding) begins, at or
// after `start`.
std::size_t findClosingTag(std::string_view text, std::size_t start, std::string_view lowerName) {
    for (std::size_t at = text.find("</", start); at != npos; at = text.find("</", at + 1)) {
        const auto nameEnd = foldedNameEnd(text, at + 2, lowerName);
        if (nameEnd && *nameEnd < text.size() && text[*nameEnd] == '>') {
            return at;
        }
    }
    return npos;
}

std::string removeStyleAndScriptElements(std::string_view text) {
    constexpr std::array<std::string_view, 2> names{"style", "script"};
    auto findTagEnd = [text](std::size_t start) { return text.find('>', start); };
    auto findStyleClose = [text](std::size_t start) {
        return findClosingTag(text, start, "style");
    };
    auto findScriptClose = [text](std::size_t start) {
        return findClosingTag(text, start, "script");
    };
    ForwardSearch tagEnds(findTagEnd);
    ForwardSearch styleCloses(findStyleClose);
    ForwardSearch scriptCloses(findScriptClose);

    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    std::size_t position = 0;
    while ((position = text.find('<', position)) != npos) {
        const std::size_t opening = position;
        position += 1;
        // The two names differ in their second folded letter, so at most one can match.
        std::optional<std::size_t> nameEnd;
        std::size_t name = 0;
        for (; name < names.size(); ++name) {
            nameEnd = foldedNameEnd(text, opening + 1, names[name]);
            if (nameEnd) {
                break;
            }
        }
        if (!nameEnd || !isWordBoundary(text, *nameEnd)) {
            continue;
        }
        // The attributes cannot contain ">", so the opening tag ends at the first one.
        const std::size_t tagEnd = tagEnds.from(*nameEnd);
        if (tagEnd == npos) {
            continue;
        }
        const std::size_t closing =
            name == 0 ? styleCloses.from(tagEnd + 1) : scriptCloses.from(tagEnd + 1);
        if (closing == npos) {
            continue;
        }
        const auto closingEnd = foldedNameEnd(text, closing + 2, names[name]);
        out.append(text.substr(copied, opening - copied));
        out.push_back(' ');
        copied = position = *closingEnd + 1;
    }
    out.append(text.substr(copied));
    return out;
}

std::string removeComments(std::string_view text) {
    auto findCommentEnd = [text](std::size_t start) { return text.find("-->", start); };
    ForwardSearch commentEnds(findCommentEnd);

    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    std::size_t position = 0;
    while ((position = text.find("<!--", position)) != npos) {
        const std::size_t end = commentEnds.from(position + 4);
        if (end == npos) {
            break;  // no later opening can be closed either
        }
        out.append(text.substr(copied, position - copied));
        out.push_back(' ');
        copied = position = end + 3;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace

std::string sanitizedHTML(std::string_view html) {
    return removeComments(removeStyleAndScriptElements(html));
}

}  // namespace loftwing
