#pragma once

#include "oauth/AppConfiguration.h"

#include <filesystem>

namespace zevirudi {

// The folder of the application's resources: <prefix>/share/zevirudi/ for the executable
// <prefix>/bin/zevirudi. Found from the running executable's real path (/proc/self/exe), never from
// the environment, because Chrome starts the native host with an environment of its own. Throws
// std::filesystem::filesystem_error when the executable path cannot be read.
std::filesystem::path resourceDirectory();

// Reads and decodes <resources>/OAuthConfig.json. Throws LoftwingMultiError::itemNotFound when
// the file does not exist, std::system_error when it cannot be read, JsonDecodingError when it
// does not decode.
loftwing::LoftwingAppConfiguration loadConfiguration(const std::filesystem::path& resources);

// loadConfiguration(resourceDirectory()); called on every native request, so it stays a plain
// read of one small file.
loftwing::LoftwingAppConfiguration loadBundledConfiguration();

}  // namespace zevirudi
