#pragma once

#include "notch/NotchNotification.h"

#include <string>
#include <string_view>

namespace zevirudi {

// The words the panel shows. Kept free of Qt so that they can be checked without a display.

// "Verification code for <host>", or the link's "Sign in to", "Reset password for", "Confirm email
// for" <host>. Also the accessible name of the whole panel.
std::string notificationTitle(const NotchNotification& notification);

// "No code field found · From <source>" (code) or "From <source>" (link), then " · <email>" when
// an account e-mail is present and not empty.
std::string notificationSubtitle(const NotchNotification& notification);

// The action button's label.
std::string actionLabel(const NotchNotification& notification);

// A 6-character code as "123 456", an 8-character one as "1234 5678", any other unchanged.
// Characters are user-perceived characters.
std::string formattedCode(std::string_view code);

inline constexpr std::string_view brandText = "ZEVIRUDI";
inline constexpr std::string_view closeButtonAccessibleName = "Close Zevirudi notification";

}  // namespace zevirudi
