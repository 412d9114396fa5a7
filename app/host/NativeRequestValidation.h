#pragma once

#include "records/NativeMessages.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zevirudi {

// The bytes a displayed text may keep per character of its limit: room for the longest emoji
// sequences in every character.
inline constexpr std::size_t displayTextBytesPerCharacter = 32;

// Text from the browser that will be shown on screen: every Unicode control or format character
// (general categories Cc and Cf) removed, then cut to `limit` user-perceived characters and to
// limit x displayTextBytesPerCharacter bytes (whole UTF-8 sequences), whichever is shorter.
std::string sanitizedDisplayText(std::string_view text, std::size_t limit);

// A web page origin: http or https (as written), a host, an optional port, and nothing else.
bool isValidPageOrigin(std::string_view origin);

// The cleaned payloads, or nothing when the browser's payload must be refused.
std::optional<loftwing::LinkNotificationPayload> validatedLinkNotification(
    const std::optional<loftwing::LinkNotificationPayload>& payload);
std::optional<loftwing::CodeNotificationPayload> validatedCodeNotification(
    const std::optional<loftwing::CodeNotificationPayload>& payload);

}  // namespace zevirudi
