// One frame as Chrome would send it: framing checks, request decoding, and the response encoding
// of whatever decoded. Whatever the bytes, the only failures allowed are the codec's own errors
// and the decoder's; a decoded request must survive a round trip unchanged.
#include "records/Errors.h"
#include "records/NativeMessageCodec.h"
#include "records/NativeMessages.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

using namespace loftwing;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void roundTrip(const NativeHostRequest& request) {
    const auto frame = NativeMessageCodec::encode(request);
    check(NativeMessageCodec::decode<NativeHostRequest>(frame) == request);

    const bool presents = request.presentsNativeUI();
    check(presents ==
          (request.type == "presentLinkNotification" || request.type == "presentCodeNotification"));
    if (const auto watch = request.watchRequest()) {
        check(watch->seenMessageIDs.size() <= maximumSeenMessageIDs);
        (void)watch->since();
        const auto watchFrame = NativeMessageCodec::encode(*watch);
        check(NativeMessageCodec::decode<WatchRequest>(watchFrame) == *watch);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view frame(reinterpret_cast<const char*>(data), size);
    NativeHostRequest request;
    try {
        request = NativeMessageCodec::decode<NativeHostRequest>(frame);
    } catch (const LoftwingMultiError& error) {
        check(error == LoftwingMultiError::invalidData());
        return 0;
    } catch (const JsonDecodingError&) {
        return 0;
    }
    try {
        roundTrip(request);
    } catch (const LoftwingMultiError& error) {
        // A request decoded from at most 1 MiB can only grow past it through escaping.
        check(error == LoftwingMultiError::responseTooLarge());
    }

    // The answer the host would write for it: an error response echoing the type.
    NativeHostResponse response{false, {}, {}, {request.type}, {}, request.type};
    try {
        const auto answer = NativeMessageCodec::encode(response);
        check(NativeMessageCodec::decode<NativeHostResponse>(answer) == response);
    } catch (const LoftwingMultiError& error) {
        check(error == LoftwingMultiError::responseTooLarge());
    }
    return 0;
}
