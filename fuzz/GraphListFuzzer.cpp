// A Microsoft Graph message list answer as the provider (or anyone in its place) might send it:
// decoding may only fail with JsonDecodingError, and every message that decodes must normalize
// without failing.
#include "mail/MessageNormalization.h"
#include "mail/ProviderMessages.h"
#include "records/Errors.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace loftwing;
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    static const StoredAccount account{
        ConnectedAccount{"acct", MailProvider::microsoft, "a@example.com", {}}, OAuthTokenSet{}};
    try {
        for (const auto& message : decodeGraphListResponse(std::string(json)).value) {
            (void)normalizeGraphMessage(message, account);
        }
    } catch (const JsonDecodingError&) {
    }
    return 0;
}
