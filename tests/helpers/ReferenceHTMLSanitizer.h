#pragma once

// The HTML sanitizing done the slow, obviously right way: the two ICU regular expressions, one
// replaceAll each. Tests and fuzzers compare the hand-written scanner against it.

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace loftwing::test {

class ReferenceHTMLSanitizer {
  public:
    ReferenceHTMLSanitizer()
        : elements_(compile(u"(?is)<(style|script)\\b[^>]*>.*?</\\1>")),
          comments_(compile(u"(?s)<!--.*?-->")) {}

    std::string operator()(std::string_view html) const {
        auto text = icu::UnicodeString::fromUTF8(
            icu::StringPiece(html.data(), static_cast<int32_t>(html.size())));
        text = replaceAll(*elements_, text);
        text = replaceAll(*comments_, text);
        std::string out;
        text.toUTF8String(out);
        return out;
    }

  private:
    static std::unique_ptr<icu::RegexPattern> compile(const char16_t* pattern) {
        UErrorCode status = U_ZERO_ERROR;
        UParseError parseError{};
        std::unique_ptr<icu::RegexPattern> compiled(
            icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, parseError, status));
        if (U_FAILURE(status)) {
            throw std::runtime_error("ICU pattern does not compile");
        }
        return compiled;
    }

    static icu::UnicodeString replaceAll(const icu::RegexPattern& pattern,
                                         const icu::UnicodeString& text) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(pattern.matcher(text, status));
        auto out = matcher->replaceAll(icu::UnicodeString(u" "), status);
        if (U_FAILURE(status)) {
            throw std::runtime_error("ICU replaceAll failed");
        }
        return out;
    }

    std::unique_ptr<icu::RegexPattern> elements_;
    std::unique_ptr<icu::RegexPattern> comments_;
};

}  // namespace loftwing::test
