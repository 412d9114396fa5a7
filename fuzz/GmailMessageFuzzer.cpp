// A Gmail message fetch answer as the provider (or anyone in its place) might send it: decoding
// may only fail with JsonDecodingError, and whatever decodes must normalize without failing.
#include "mail/MessageNormalization.h"
#include "mail/ProviderMessages.h"
#include "records/Errors.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace loftwing;
    const std::string_view json(reinterpret_cast<const char*>(data), size);
    static const StoredAccount account{
        ConnectedAccount{"acct", MailProvider::google, "a@example.com", {}}, OAuthTokenSet{}};
    try {
        if (const auto message = decodeGmailMessage(std::string(json))) {
            (void)normalizeGmailMessage(*message, account, Timestamp{});
        }
    } catch (const JsonDecodingError&) {
    }
    return 0;
}
