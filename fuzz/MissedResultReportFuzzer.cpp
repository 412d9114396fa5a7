// Whatever the user types, the subject and notes lines of a missed-result report carry no web link
// (scheme in any letter case) and no run that redaction would have replaced. The one run allowed
// is at the end of a field that was cut to its limit: cutting a long run, which redaction keeps,
// can leave a shorter one behind ("exampl339-90" cut to "exampl339-").
#include "reports/MissedResultReportBuilder.h"
#include "support/Text.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

using loftwing::MissedResultReportBuilder::make;

std::unique_ptr<icu::RegexPattern> compile(const char16_t* pattern) {
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, parseError, status));
    if (U_FAILURE(status)) {
        std::abort();
    }
    return compiled;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        pieces.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return pieces;
        }
        start = end + 1;
    }
}

void checkRedacted(std::string_view value, std::size_t limit) {
    static const auto links = compile(u"(?i)https?://[^\\s<>\"']+");
    static const auto codes = compile(u"\\b[A-Za-z0-9-]{4,12}\\b");
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
        icu::StringPiece(value.data(), static_cast<int32_t>(value.size())));
    UErrorCode status = U_ZERO_ERROR;
    if (std::unique_ptr<icu::RegexMatcher>(links->matcher(text, status))->find(status)) {
        std::abort();
    }
    const bool cut = loftwing::characterCount(value) == limit;
    std::unique_ptr<icu::RegexMatcher> matcher(codes->matcher(text, status));
    while (matcher->find(status)) {
        const icu::UnicodeString run = matcher->group(status);
        int32_t letters = 0;
        bool digit = false;
        for (int32_t i = 0; i < run.length(); ++i) {
            letters += run[i] != u'-' ? 1 : 0;
            digit = digit || (run[i] >= u'0' && run[i] <= u'9');
        }
        const bool likelyCode = letters >= 4 && letters <= 10 && digit;
        // A word boundary cannot follow a hyphen at the end, so the cut run's match stops before
        // the hyphens it ends with.
        int32_t end = matcher->end(status);
        while (end < text.length() && text[end] == u'-') {
            ++end;
        }
        if (likelyCode && !(cut && end == text.length())) {
            std::abort();
        }
    }
}

}  // namespace

// Input: site, sender, subject and notes separated by NUL bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The report screen hands over text fields, which are always valid UTF-8.
    if (!loftwing::isValidUTF8(input)) {
        return 0;
    }
    auto fields = split(input, '\0');
    fields.resize(4);
    const loftwing::MissedResultReportDraft draft{
        std::string(fields[0]), loftwing::MissedResultKind::signInCode,
        std::nullopt,           std::string(fields[1]),
        std::string(fields[2]), loftwing::Timestamp{},
        std::string(fields[3])};
    const std::string report = make(draft, {"1.0 (1)", "Linux", true, 1, true, true});

    const auto lines = split(report, '\n');
    constexpr std::string_view subject = "Subject: ";
    constexpr std::string_view notes = "Notes: ";
    if (lines.size() != 19 || !lines[6].starts_with(subject) || !lines[8].starts_with(notes)) {
        std::abort();
    }
    checkRedacted(lines[6].substr(subject.size()), 240);
    checkRedacted(lines[8].substr(notes.size()), 800);
    return 0;
}
