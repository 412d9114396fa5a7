#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace loftwing {

// Writes the bytes beside the target, syncs them and moves them into place, so that a reader sees
// the old file or the new one, never a part. Throws std::system_error; the old file is then left
// untouched and the scratch file removed.
void writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, mode_t mode);

}  // namespace loftwing
