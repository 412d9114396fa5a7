#pragma once

#include "host/NativeHostServices.h"
#include "records/NativeMessages.h"

#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace zevirudi {

// Everything the host does for one request, as a value: the one frame to write, then the
// notifications to show once it is written.
struct NativeHostAnswer {
    std::string frame;
    std::optional<loftwing::LinkNotificationPayload> linkNotification;
    std::optional<loftwing::CodeNotificationPayload> codeNotification;
};

// Where the answer gets its configuration and services; tests hand in their own.
struct NativeHostEnvironment {
    std::function<loftwing::LoftwingAppConfiguration()> loadConfiguration;
    // Called only for "status", "health" and "poll", with whether the request is one of the two
    // that go to the network.
    std::function<NativeHostServices(const loftwing::LoftwingAppConfiguration&, bool network)>
        makeServices;
};

// The bundled configuration and the real keyring and network.
NativeHostEnvironment productionEnvironment();

// The answer to one frame (prefix included) from the caller: decodes the request, refuses any
// caller but the configured extension before looking further, answers by type, encodes. Touches
// neither standard input nor standard output and never throws: every failure is an error frame,
// and an answer that cannot be encoded shows no notification.
NativeHostAnswer answerNativeHostFrame(const std::string& callerOrigin, const std::string& frame,
                                       const NativeHostEnvironment& environment);

// The error frame for a failure: its user-facing description, or "Zevirudi stopped.", cut to 240
// characters.
std::string errorFrame(std::exception_ptr error);

}  // namespace zevirudi
