#pragma once

#include "oauth/AppConfiguration.h"

#include <filesystem>

namespace zevirudi {

// The folder of the application's resources: <prefix>/share/zevirudi/ for the executable
// <prefix>/bin/zevirudi. Found from the running executable's real path (/proc/self/exe), never from
// the environment, because Chrome starts the native host with an environment of its own. Throws
// std::filesystem::filesystem_error when the executable path cannot be read.
std::filesystem::path resourceDirectory();

// The running executable's real path (/proc/self/exe). Throws std::filesystem::filesystem_error.
std::filesystem::path executablePath();

// Where the executable's loadable modules live: <prefix>/lib/zevirudi/.
std::filesystem::path moduleDirectory();

// Reads and decodes <resources>/OAuthConfig.json. Throws LoftwingMultiError::itemNotFound when
// the file does not exist, std::system_error when it cannot be read, JsonDecodingError when it
// does not decode.
loftwing::LoftwingAppConfiguration loadConfiguration(const std::filesystem::path& resources);

// The configuration a person supplies for their own OAuth clients, same schema:
// <configHome>/zevirudi/OAuthConfig.json. It is read instead of <resources>/OAuthConfig.json when
// it is a regular file owned by the user and writable by nobody else; any other file there is
// passed over with a warning in the log, because whoever can write it could send the person's
// sign-in to endpoints of their choosing. Throws like loadConfiguration; a user file that does not
// decode is an error, never a reason to fall back to the bundled one.
loftwing::LoftwingAppConfiguration loadConfiguration(const std::filesystem::path& configHome,
                                                     const std::filesystem::path& resources);

// loadConfiguration($XDG_CONFIG_HOME or ~/.config, resourceDirectory()); called on every native
// request, so it stays a plain read of one or two small files.
loftwing::LoftwingAppConfiguration loadBundledConfiguration();

}  // namespace zevirudi
