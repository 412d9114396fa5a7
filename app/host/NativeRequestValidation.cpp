#include "host/NativeRequestValidation.h"

#include "support/Text.h"

#include <unicode/uchar.h>
#include <boost/url/parse.hpp>

#include <algorithm>
#include <array>

namespace zevirudi {
namespace {

constexpr std::size_t codeLimit = 10;
constexpr std::size_t hostLimit = 253;
constexpr std::size_t sourceLimit = 120;
constexpr std::size_t providerLabelLimit = 40;
constexpr std::size_t accountEmailLimit = 180;
constexpr std::array<std::string_view, 3> linkPurposes{"sign-in", "password-reset",
                                                       "email-confirmation"};

std::optional<std::string> cleanedAccountEmail(const std::optional<std::string>& email) {
    if (!email) {
        return std::nullopt;
    }
    auto cleaned = sanitizedDisplayText(*email, accountEmailLimit);
    if (cleaned.empty()) {
        return std::nullopt;
    }
    return cleaned;
}

bool isCodeCharacter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

std::string sanitizedDisplayText(std::string_view text, std::size_t limit) {
    // One character may hold any number of combining marks: a megabyte of them is one character
    // that costs seconds to count and to draw. Whole sequences are kept up to the byte budget.
    const std::size_t byteBudget = limit * displayTextBytesPerCharacter;
    std::string kept;
    kept.reserve(std::min(text.size(), byteBudget));
    loftwing::forEachCodePoint(text, [&](std::int32_t c, std::string_view sequence) {
        const auto type =
            c < 0 ? UCharCategory{U_UNASSIGNED} : static_cast<UCharCategory>(u_charType(c));
        // Ill-formed bytes are kept as they are; the limit still counts them.
        if (type != U_CONTROL_CHAR && type != U_FORMAT_CHAR &&
            kept.size() + sequence.size() <= byteBudget) {
            kept += sequence;
        }
    });
    return loftwing::prefixCharacters(kept, limit);
}

bool isValidPageOrigin(std::string_view origin) {
    const auto parsed = boost::urls::parse_uri_reference(origin);
    if (!parsed) {
        return false;
    }
    const auto& url = *parsed;
    if (url.has_userinfo() || !url.has_authority() || url.encoded_host().empty()) {
        return false;
    }
    if (!url.encoded_path().empty() || url.has_query() || url.has_fragment()) {
        return false;
    }
    return url.has_scheme() && (url.scheme() == "https" || url.scheme() == "http");
}

std::optional<loftwing::LinkNotificationPayload> validatedLinkNotification(
    const std::optional<loftwing::LinkNotificationPayload>& payload) {
    if (!payload) {
        return std::nullopt;
    }
    const auto parsed = boost::urls::parse_uri_reference(payload->url);
    if (!parsed) {
        return std::nullopt;
    }
    const auto& url = *parsed;
    if (!url.has_scheme() || loftwing::lowercased(url.scheme()) != "https") {
        return std::nullopt;
    }
    if (url.has_userinfo()) {
        return std::nullopt;
    }
    const std::string host = url.host();
    if (!url.has_authority() || host.empty() ||
        loftwing::lowercased(host) != loftwing::lowercased(payload->destinationHost)) {
        return std::nullopt;
    }
    if (std::find(linkPurposes.begin(), linkPurposes.end(), payload->linkPurpose) ==
        linkPurposes.end()) {
        return std::nullopt;
    }
    auto source = sanitizedDisplayText(payload->source, sourceLimit);
    auto providerLabel = sanitizedDisplayText(payload->providerLabel, providerLabelLimit);
    if (source.empty() || providerLabel.empty()) {
        return std::nullopt;
    }
    return loftwing::LinkNotificationPayload{payload->url,
                                             loftwing::lowercased(host),
                                             std::move(source),
                                             cleanedAccountEmail(payload->accountEmail),
                                             std::move(providerLabel),
                                             payload->linkPurpose};
}

std::optional<loftwing::CodeNotificationPayload> validatedCodeNotification(
    const std::optional<loftwing::CodeNotificationPayload>& payload) {
    if (!payload) {
        return std::nullopt;
    }
    const auto code = loftwing::uppercased(sanitizedDisplayText(payload->code, codeLimit));
    const auto host =
        loftwing::lowercased(sanitizedDisplayText(payload->destinationHost, hostLimit));
    auto source = sanitizedDisplayText(payload->source, sourceLimit);
    auto providerLabel = sanitizedDisplayText(payload->providerLabel, providerLabelLimit);

    const auto characters = loftwing::characterCount(code);
    if (characters < 4 || characters > codeLimit) {
        return std::nullopt;
    }
    if (!std::all_of(code.begin(), code.end(), isCodeCharacter)) {
        return std::nullopt;
    }
    if (std::none_of(code.begin(), code.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    if (host.empty()) {
        return std::nullopt;
    }
    // url_view does not own its text: keep it alive while the view is used.
    const std::string hostURLText = "https://" + host;
    const auto hostURL = boost::urls::parse_uri_reference(hostURLText);
    if (!hostURL || !hostURL->has_authority() || hostURL->host().empty() ||
        loftwing::lowercased(hostURL->host()) != host) {
        return std::nullopt;
    }
    if (source.empty() || providerLabel.empty()) {
        return std::nullopt;
    }
    return loftwing::CodeNotificationPayload{code,
                                             host,
                                             std::move(source),
                                             cleanedAccountEmail(payload->accountEmail),
                                             std::move(providerLabel),
                                             payload->wasCopied};
}

}  // namespace zevirudi
