#pragma once

#include "records/AccountRecords.h"
#include "support/Time.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace loftwing {

// What the user expected to receive when a result did not show up.
enum class MissedResultKind { signInCode, signInLink, emailConfirmation, passwordReset, unsure };

inline constexpr std::array<MissedResultKind, 5> allMissedResultKinds{
    MissedResultKind::signInCode, MissedResultKind::signInLink, MissedResultKind::emailConfirmation,
    MissedResultKind::passwordReset, MissedResultKind::unsure};

std::string_view rawValue(MissedResultKind kind);
std::string_view displayName(MissedResultKind kind);
// Only the exact raw values give a kind.
std::optional<MissedResultKind> missedResultKindFromRawValue(std::string_view raw);

// What the user entered about the missed result, as typed.
struct MissedResultReportDraft {
    std::string siteAddress;
    MissedResultKind kind = MissedResultKind::unsure;
    std::optional<ConnectedAccount> mailbox;  // absent when the user is not sure
    std::string sender;
    std::string subject;
    Timestamp arrivalTime;
    std::string notes;

    friend bool operator==(const MissedResultReportDraft&,
                           const MissedResultReportDraft&) = default;
};

// Facts about the installation that help support; the report only formats them.
struct MissedResultDiagnostics {
    std::string appVersion;
    // The operating system's version text; on Linux the distribution's PRETTY_NAME and the
    // kernel release.
    std::string macOSVersion;
    bool chromeConnectionInstalled = false;
    std::int64_t connectedAccountCount = 0;
    bool googleConfigured = false;
    bool microsoftConfigured = false;

    friend bool operator==(const MissedResultDiagnostics&,
                           const MissedResultDiagnostics&) = default;
};

}  // namespace loftwing
