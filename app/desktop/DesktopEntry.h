#pragma once

// The desktop role lives in <prefix>/lib/zevirudi/libzevirudi-desktop.so, loaded with dlopen
// only when the executable is not started as a native messaging host: the host never maps the
// toolkit. This header is the whole interface between the two and includes nothing.

namespace zevirudi {

// Runs the desktop application until the user quits it; returns the process's exit status.
using RunDesktopFunction = int (*)(int argc, char** argv);
inline constexpr const char* runDesktopSymbol = "zevirudi_run_desktop";
inline constexpr const char* desktopModuleName = "libzevirudi-desktop.so";

}  // namespace zevirudi
