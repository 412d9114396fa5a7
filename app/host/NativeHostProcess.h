#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

namespace zevirudi {

// The largest length a frame may announce before its body is read. Larger than the codec's 1 MiB
// so that a frame between the two limits is read whole and then refused by the codec.
inline constexpr std::size_t maximumIncomingFrameBytes = 67'108'864;

// Reads one frame (prefix included). Nothing when input ends before the first byte; throws
// invalidData when it ends inside the frame, responseTooLarge for an announced length beyond
// maximumIncomingFrameBytes (without reading the body), std::system_error on a read error.
std::optional<std::string> readNativeHostFrame(int fd = STDIN_FILENO);

// Writes the whole frame, retrying short writes and interrupted calls. False when the descriptor
// fails (the reader has gone).
bool writeResponseFrame(std::string_view frame, int fd = STDOUT_FILENO);

// The whole native messaging host: reads one frame, writes one frame, then shows the accepted
// notification, if any. Points the process's log at the system log first. Always returns 0.
int runNativeHost(const std::string& callerOrigin);

}  // namespace zevirudi
