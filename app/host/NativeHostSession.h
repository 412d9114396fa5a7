#pragma once

#include "records/NativeMessages.h"

#include <string>

namespace zevirudi {

// Handles one decoded request from the caller and writes its one response frame to stdout.
void runNativeHostSession(const std::string& callerOrigin,
                          const loftwing::NativeHostRequest& request);

}  // namespace zevirudi
