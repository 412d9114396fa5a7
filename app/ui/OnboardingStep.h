#pragma once

#include <QString>

namespace zevirudi {

// The first-run steps in the order they are shown.
enum class OnboardingStep : int { introduction = 0, chrome, permission, connect, sound, rehearsal };

inline constexpr int onboardingStepCount = 6;

// Never before the first step.
inline OnboardingStep previousStep(OnboardingStep step) {
    return step == OnboardingStep::introduction
               ? step
               : static_cast<OnboardingStep>(static_cast<int>(step) - 1);
}

// Never beyond the last step.
inline OnboardingStep nextStep(OnboardingStep step) {
    return step == OnboardingStep::rehearsal
               ? step
               : static_cast<OnboardingStep>(static_cast<int>(step) + 1);
}

// "SETUP · 3 OF 6" on the third step.
inline QString progressText(OnboardingStep step) {
    return QStringLiteral("SETUP · %1 OF %2")
        .arg(static_cast<int>(step) + 1)
        .arg(onboardingStepCount);
}

}  // namespace zevirudi
