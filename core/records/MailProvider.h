#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace loftwing {

enum class MailProvider { google, microsoft };

inline constexpr std::array<MailProvider, 2> allMailProviders{MailProvider::google,
                                                              MailProvider::microsoft};

std::string_view rawValue(MailProvider provider);
std::string_view displayName(MailProvider provider);
// Only the two exact lower-case raw values give a provider.
std::optional<MailProvider> mailProviderFromRawValue(std::string_view raw);

}  // namespace loftwing
