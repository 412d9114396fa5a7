// One frame as Chrome would send it: framing checks, request decoding, and the response encoding
// of whatever decoded. Whatever the bytes, the only failures allowed are the codec's own errors
// and the decoder's; an encoded answer must be one frame of strict JSON.
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

void checkWatchRequest(const NativeHostRequest& request) {
    if (const auto watch = request.watchRequest()) {
        check(request.type == "poll");
        check(watch->seenMessageIDs.size() <= maximumSeenMessageIDs);
        (void)watch->since();
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
    checkWatchRequest(request);

    // The answer the host would write for it: an error response echoing the type.
    NativeHostResponse response{false, {}, {}, {request.type}, {}, request.type};
    try {
        const auto answer = NativeMessageCodec::encode(response);
        check(NativeMessageCodec::announcedLength(
                  reinterpret_cast<const unsigned char*>(answer.data())) == answer.size() - 4);
        check(parseJson(std::string_view(answer).substr(4)) ==
              toJson(response, DateEncoding::millisecondsSince1970));
    } catch (const LoftwingMultiError& error) {
        // A request decoded from at most 1 MiB can only grow past it through escaping.
        check(error == LoftwingMultiError::responseTooLarge());
    }
    return 0;
}
