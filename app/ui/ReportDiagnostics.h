#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace zevirudi {

// The version line of the application: Info.json's "CFBundleShortVersionString", followed by
// " (" "CFBundleVersion" ")" when that is a string too; "Development build" when the file, the
// short version or a readable JSON object is missing.
std::string appVersionText(const std::filesystem::path& infoFile);

// appVersionText of <resources>/Info.json beside the running executable.
std::string bundledAppVersionText();

// The distribution's PRETTY_NAME from the text of an os-release file (quotes and backslash escapes
// removed); "Linux" when the file names none, as os-release prescribes.
std::string prettyNameFromOSRelease(std::string_view osRelease);

// PRETTY_NAME of /etc/os-release (or /usr/lib/os-release), a space and the kernel release.
std::string operatingSystemVersionText();

}  // namespace zevirudi
