#include "host/NativeHostAnswer.h"

#include "bundle/AppBundle.h"
#include "host/NativeRequestHandling.h"
#include "records/Errors.h"
#include "records/NativeMessageCodec.h"
#include "support/Text.h"

namespace zevirudi {
namespace {

std::string frameWithError(const std::string& message) {
    loftwing::NativeHostResponse response;
    response.ok = false;
    response.error = loftwing::prefixCharacters(message, 240);
    // A response of one short error text always encodes.
    return loftwing::NativeMessageCodec::encode(response);
}

NativeHostAnswer answer(const std::string& callerOrigin, const std::string& frame,
                        const NativeHostEnvironment& environment) {
    const auto request = loftwing::NativeMessageCodec::decode<loftwing::NativeHostRequest>(frame);
    const auto configuration = environment.loadConfiguration();
    // Nothing of the request is looked at, and the keyring is not touched, for any other caller.
    if (callerOrigin != configuration.extensionOrigin()) {
        // Answered without throwing: a process's first exception costs it the unwinder's set-up.
        const auto refusal = loftwing::LoftwingMultiError::authenticationFailed();
        return {frameWithError(loftwing::userFacingDescription(refusal).value_or("")), std::nullopt,
                std::nullopt};
    }
    auto handled = handleWithoutServices(request);
    if (!handled) {
        const auto services = environment.makeServices(configuration, request.type != "status");
        handled = handleNativeRequest(request, *services.accountStore, *services.monitor);
    }
    return {loftwing::NativeMessageCodec::encode(handled->response),
            std::move(handled->linkNotification), std::move(handled->codeNotification)};
}

}  // namespace

NativeHostEnvironment productionEnvironment() {
    return {loadBundledConfiguration, makeNativeHostServices};
}

NativeHostAnswer answerNativeHostFrame(const std::string& callerOrigin, const std::string& frame,
                                       const NativeHostEnvironment& environment) {
    try {
        return answer(callerOrigin, frame, environment);
    } catch (...) {
        return {errorFrame(std::current_exception()), std::nullopt, std::nullopt};
    }
}

std::string errorFrame(std::exception_ptr error) {
    std::string message = "Zevirudi stopped.";
    try {
        if (error) {
            std::rethrow_exception(error);
        }
    } catch (const std::exception& caught) {
        if (auto description = loftwing::userFacingDescription(caught)) {
            message = std::move(*description);
        }
    } catch (...) {
    }
    return frameWithError(message);
}

}  // namespace zevirudi
