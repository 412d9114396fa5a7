#include "support/Text.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <memory>
#include <mutex>

// ICU's UTF-8 macros are written in C style.
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wconversion"

namespace loftwing {
namespace {

// Creating a break iterator loads ICU's rules; clone one prototype per call instead.
std::unique_ptr<icu::BreakIterator> makeCharacterIterator() {
    static std::once_flag once;
    static std::unique_ptr<icu::BreakIterator> prototype;
    std::call_once(once, [] {
        UErrorCode status = U_ZERO_ERROR;
        prototype.reset(
            icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) {
            prototype.reset();
        }
    });
    if (!prototype) {
        return nullptr;
    }
    return std::unique_ptr<icu::BreakIterator>(prototype->clone());
}

// Calls visit(byteOffset) at every grapheme boundary after the start; stops when visit returns
// false. Returns false when ICU could not be used.
template <typename Visit>
bool forEachBoundary(std::string_view utf8, Visit visit) {
    auto iterator = makeCharacterIterator();
    if (!iterator) {
        return false;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(nullptr, utf8.data(), static_cast<int64_t>(utf8.size()), &status);
    if (U_FAILURE(status)) {
        return false;
    }
    iterator->setText(text, status);
    if (U_SUCCESS(status)) {
        iterator->first();
        for (int32_t boundary = iterator->next(); boundary != icu::BreakIterator::DONE;
             boundary = iterator->next()) {
            if (!visit(static_cast<std::size_t>(boundary))) {
                break;
            }
        }
    }
    utext_close(text);
    return U_SUCCESS(status);
}

}  // namespace

bool isWhitespaceOrNewline(std::int32_t codePoint) {
    return codePoint == 0x09 || (codePoint >= 0x0A && codePoint <= 0x0D) || codePoint == 0x85 ||
           codePoint == 0x2028 || codePoint == 0x2029 || u_charType(codePoint) == U_SPACE_SEPARATOR;
}

std::size_t characterCount(std::string_view utf8) {
    if (utf8.empty()) {
        return 0;
    }
    std::size_t count = 0;
    if (!forEachBoundary(utf8, [&](std::size_t) {
            ++count;
            return true;
        })) {
        return utf8.size();
    }
    return count;
}

std::string prefixCharacters(std::string_view utf8, std::size_t limit) {
    if (limit == 0) {
        return {};
    }
    // Every character is at least one byte: a text no longer in bytes than the limit fits whole,
    // without loading the break rules (most answers of a process never need them).
    if (utf8.size() <= limit) {
        return std::string(utf8);
    }
    std::size_t count = 0;
    std::size_t end = utf8.size();
    forEachBoundary(utf8, [&](std::size_t boundary) {
        if (++count == limit) {
            end = boundary;
            return false;
        }
        return true;
    });
    return std::string(utf8.substr(0, end));
}

std::string trimmingWhitespaceAndNewlines(std::string_view utf8) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int32_t start = 0;
    while (start < length) {
        int32_t next = start;
        UChar32 c;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !isWhitespaceOrNewline(c)) {
            break;
        }
        start = next;
    }
    int32_t end = length;
    while (end > start) {
        int32_t previous = end;
        UChar32 c;
        U8_PREV(bytes, 0, previous, c);
        if (c < 0 || !isWhitespaceOrNewline(c)) {
            break;
        }
        end = previous;
    }
    return std::string(
        utf8.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
}

bool containsWhitespaceOrNewline(std::string_view utf8) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c >= 0 && isWhitespaceOrNewline(c)) {
            return true;
        }
    }
    return false;
}

std::string lowercased(std::string_view utf8) {
    std::string out;
    icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())))
        .toLower(icu::Locale::getRoot())
        .toUTF8String(out);
    return out;
}

std::string uppercased(std::string_view utf8) {
    std::string out;
    icu::UnicodeString::fromUTF8(icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())))
        .toUpper(icu::Locale::getRoot())
        .toUTF8String(out);
    return out;
}

bool isValidUTF8(std::string_view bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    if (static_cast<std::size_t>(length) != bytes.size()) {
        return false;
    }
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(data, i, length, c);
        if (c < 0) {
            return false;
        }
    }
    return true;
}

void forEachCodePoint(std::string_view bytes,
                      const std::function<void(std::int32_t, std::string_view)>& visit) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto length = static_cast<int32_t>(bytes.size());
    for (int32_t i = 0; i < length;) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(data, i, length, c);
        visit(c,
              bytes.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    }
}

std::string replacingInvalidUTF8(std::string_view bytes) {
    if (isValidUTF8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size() + 16);
    forEachCodePoint(bytes, [&](std::int32_t c, std::string_view sequence) {
        out += c < 0 ? std::string_view("\xEF\xBF\xBD") : sequence;
    });
    return out;
}

}  // namespace loftwing
