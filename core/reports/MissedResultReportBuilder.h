#pragma once

#include "reports/MissedResultReport.h"

#include <optional>
#include <string>
#include <string_view>

// The plain-text report a user shares about a missed sign-in code or link. Pure functions: no
// state, no I/O, thread-safe. The report never carries a mail body or a token, and its free-text
// fields lose web links and likely one-time codes before they are cut to their limits. Limits
// count user-perceived characters (grapheme clusters).
namespace loftwing::MissedResultReportBuilder {

// The whole report, lines separated by "\n", no newline at the end. Never fails: unusable input
// gives the fallback texts.
std::string make(const MissedResultReportDraft& draft, const MissedResultDiagnostics& diagnostics);

// The site as "http(s)://host/path" (query, fragment and port dropped, scheme written in lower
// case), cut to 240 characters; nothing when the text is not a usable web address: no host, a
// scheme other than http and https, or a user name or password in it. Text without "://" is
// read as an https address.
std::optional<std::string> normalizedSiteAddress(std::string_view siteText);

// The text's words joined by single spaces (every run of white space and newlines becomes one
// space, none at either end), cut to its first max(limit, 0) characters.
std::string collapsedText(std::string_view text, int limit);

// collapsedText after replacing web links (scheme in any letter case) with "[link removed]" and
// runs of 4 to 10 letters and digits with at least one digit (hyphens between them allowed and
// not counted, 12 characters at most) with "[code removed]".
std::string redactedText(std::string_view text, int limit);

}  // namespace loftwing::MissedResultReportBuilder
