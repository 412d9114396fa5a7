#include "reports/MissedResultReport.h"

namespace loftwing {

std::string_view rawValue(MissedResultKind kind) {
    switch (kind) {
        case MissedResultKind::signInCode:
            return "signInCode";
        case MissedResultKind::signInLink:
            return "signInLink";
        case MissedResultKind::emailConfirmation:
            return "emailConfirmation";
        case MissedResultKind::passwordReset:
            return "passwordReset";
        case MissedResultKind::unsure:
            break;
    }
    return "unsure";
}

std::string_view displayName(MissedResultKind kind) {
    switch (kind) {
        case MissedResultKind::signInCode:
            return "Sign-in code";
        case MissedResultKind::signInLink:
            return "Sign-in link";
        case MissedResultKind::emailConfirmation:
            return "Email-confirmation link";
        case MissedResultKind::passwordReset:
            return "Password-reset result";
        case MissedResultKind::unsure:
            break;
    }
    return "Not sure";
}

std::optional<MissedResultKind> missedResultKindFromRawValue(std::string_view raw) {
    for (const auto kind : allMissedResultKinds) {
        if (rawValue(kind) == raw) {
            return kind;
        }
    }
    return std::nullopt;
}

}  // namespace loftwing
