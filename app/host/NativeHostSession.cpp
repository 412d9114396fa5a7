#include "host/NativeHostSession.h"

#include "host/NativeHostProcess.h"
#include "records/NativeMessageCodec.h"

namespace zevirudi {

void runNativeHostSession(const std::string&, const loftwing::NativeHostRequest&) {
    // Request handling arrives with the account and mail services; until then every request is
    // answered as unsupported through the normal response path.
    loftwing::NativeHostResponse response;
    response.ok = false;
    response.error = "The native request type is not supported.";
    writeResponseFrame(loftwing::NativeMessageCodec::encode(response));
}

}  // namespace zevirudi
