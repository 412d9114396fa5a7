#include "reports/MissedResultReportBuilder.h"

#include "support/LogSink.h"
#include "support/Text.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <boost/url/parse.hpp>
#include <boost/url/url.hpp>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace loftwing::MissedResultReportBuilder {
namespace {

constexpr int siteLimit = 240;
constexpr int mailboxLimit = 160;
constexpr int senderLimit = 180;
constexpr int subjectLimit = 240;
constexpr int notesLimit = 800;
constexpr int appVersionLimit = 80;
constexpr int systemVersionLimit = 120;

// The scheme is matched in any letter case: "HTTPS://" opens a link as well as "https://" does,
// and a report that promises to remove links must remove both.
constexpr char16_t linkPattern[] = u"(?i:https?)://[^\\s<>\"']+";
// ICU's \b: a hyphen is not a word character, so "12-34" has boundaries inside.
constexpr char16_t codePattern[] = u"\\b[A-Za-z0-9-]{4,12}\\b";

// Compiled once per process; RegexPattern is safe to share between threads. Nothing when the
// pattern does not compile, and then its step is skipped.
const icu::RegexPattern* compiled(const char16_t* pattern, const char* name) {
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexPattern> result(
        icu::RegexPattern::compile(icu::UnicodeString(pattern), 0, parseError, status));
    if (U_FAILURE(status)) {
        logMessage(
            LogLevel::error, "reports",
            std::string("Report pattern did not compile: ") + name + " " + u_errorName(status));
        return nullptr;
    }
    return result.release();
}

const icu::RegexPattern* links() {
    static const icu::RegexPattern* pattern = compiled(linkPattern, "link");
    return pattern;
}

const icu::RegexPattern* codes() {
    static const icu::RegexPattern* pattern = compiled(codePattern, "code");
    return pattern;
}

// A matched run is a likely code when, without its hyphens, it has 4 to 10 characters and at
// least one digit.
bool isLikelyCode(const icu::UnicodeString& run) {
    int32_t length = 0;
    bool hasDigit = false;
    for (int32_t i = 0; i < run.length(); ++i) {
        const char16_t unit = run.charAt(i);
        if (unit != u'-') {
            ++length;
            hasDigit = hasDigit || (unit >= u'0' && unit <= u'9');
        }
    }
    return length >= 4 && length <= 10 && hasDigit;
}

std::string orFallback(std::string value, const char* fallback) {
    return value.empty() ? std::string(fallback) : value;
}

}  // namespace

std::string collapsedText(std::string_view text, int limit) {
    std::string joined;
    std::string_view pending;  // the word being read, as a view into text
    const auto finishWord = [&] {
        if (!pending.empty()) {
            if (!joined.empty()) {
                joined += ' ';
            }
            joined += pending;
            pending = {};
        }
    };
    forEachCodePoint(text, [&](std::int32_t codePoint, std::string_view sequence) {
        if (codePoint >= 0 && isWhitespaceOrNewline(codePoint)) {
            finishWord();
        } else if (pending.empty()) {
            pending = sequence;
        } else {
            pending = std::string_view(pending.data(), pending.size() + sequence.size());
        }
    });
    finishWord();
    return prefixCharacters(joined, static_cast<std::size_t>(std::max(limit, 0)));
}

std::string redactedText(std::string_view text, int limit) {
    icu::UnicodeString redacted = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
    if (const auto* pattern = links()) {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(pattern->matcher(redacted, status));
        if (U_SUCCESS(status)) {
            icu::UnicodeString replaced = matcher->replaceAll(u"[link removed]", status);
            if (U_SUCCESS(status)) {
                redacted = std::move(replaced);
            }
        }
    }
    // A replacement changes what borders the runs after it: "5xa--root--------m----m--4a" loses
    // "5xa--root", and the hyphens that followed a letter now follow "]", so the runs after it
    // line up differently and "m----m--4a" appears. Passes repeat until one replaces nothing;
    // each removes at least one digit, so they end.
    for (bool replacedAny = true; replacedAny;) {
        replacedAny = false;
        const auto* pattern = codes();
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::RegexMatcher> matcher(
            pattern != nullptr ? pattern->matcher(redacted, status) : nullptr);
        std::vector<std::pair<int32_t, int32_t>> runs;
        while (matcher && U_SUCCESS(status) && matcher->find(status)) {
            runs.emplace_back(matcher->start(status), matcher->end(status));
        }
        // Last to first, so that a replacement never moves a run still to visit.
        for (auto run = runs.rbegin(); U_SUCCESS(status) && run != runs.rend(); ++run) {
            const int32_t length = run->second - run->first;
            if (isLikelyCode(icu::UnicodeString(redacted, run->first, length))) {
                redacted.replace(run->first, length, u"[code removed]");
                replacedAny = true;
            }
        }
    }
    std::string utf8;
    redacted.toUTF8String(utf8);
    return collapsedText(utf8, limit);
}

std::optional<std::string> normalizedSiteAddress(std::string_view siteText) {
    std::string text = trimmingWhitespaceAndNewlines(siteText);
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.find("://") == std::string::npos) {
        text.insert(0, "https://");
    }
    const auto parsed = boost::urls::parse_uri(text);
    if (!parsed) {
        return std::nullopt;
    }
    boost::urls::url address(*parsed);
    const auto scheme = address.scheme_id();
    if (scheme != boost::urls::scheme::https && scheme != boost::urls::scheme::http) {
        return std::nullopt;
    }
    if (!address.has_authority() || address.encoded_host().empty() || address.has_userinfo()) {
        return std::nullopt;
    }
    address.remove_query();
    address.remove_fragment();
    address.remove_port();
    address.set_scheme_id(scheme);
    return prefixCharacters(address.buffer(), siteLimit);
}

std::string make(const MissedResultReportDraft& draft, const MissedResultDiagnostics& diagnostics) {
    const std::string site = normalizedSiteAddress(draft.siteAddress).value_or("Not supplied");
    const std::string mailbox = draft.mailbox
                                    ? collapsedText(draft.mailbox->email, mailboxLimit) + " (" +
                                          std::string(displayName(draft.mailbox->provider)) + ")"
                                    : "Not sure";
    const std::int64_t inboxes = std::max<std::int64_t>(diagnostics.connectedAccountCount, 0);

    std::string report;
    const auto line = [&report](std::string_view text) {
        if (!report.empty()) {
            report += '\n';
        }
        report += text;
    };
    line("Zevirudi missed-result report");
    line("");
    line("Site: " + site);
    line("Expected result: " + std::string(displayName(draft.kind)));
    line("Mailbox: " + mailbox);
    line("Sender: " + orFallback(collapsedText(draft.sender, senderLimit), "Not supplied"));
    line("Subject: " + orFallback(redactedText(draft.subject, subjectLimit), "Not supplied"));
    line("Email arrival: " + formatISO8601(draft.arrivalTime));
    line("Notes: " + orFallback(redactedText(draft.notes, notesLimit), "None"));
    line("");
    line("Diagnostics");
    line("Zevirudi: " + collapsedText(diagnostics.appVersion, appVersionLimit));
    line("Linux: " + collapsedText(diagnostics.macOSVersion, systemVersionLimit));
    line(std::string("Chrome connection: ") +
         (diagnostics.chromeConnectionInstalled ? "Installed" : "Not installed"));
    line("Connected inboxes: " + std::to_string(inboxes));
    line(std::string("Gmail support: ") +
         (diagnostics.googleConfigured ? "Configured" : "Not configured"));
    line(std::string("Outlook support: ") +
         (diagnostics.microsoftConfigured ? "Configured" : "Not configured"));
    line("");
    line(
        "Privacy: Zevirudi removed full web links and likely one-time codes from the subject and "
        "notes. OAuth tokens and email bodies are never included. Review this report before "
        "sharing it.");
    return report;
}

}  // namespace loftwing::MissedResultReportBuilder
