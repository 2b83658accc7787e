#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <sys/types.h>

namespace nudgerly {

// Writes the file so that readers see either the old or the new bytes, never a part: a temporary file
// in the same folder, fsync, rename over the target, fsync of the folder. The file gets `mode`
// (private by default). On any failure the temporary file is removed, the old file is untouched and
// a FileSystemError is thrown.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes, mode_t mode = 0600);

// The whole file; throws FileSystemError when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Creates the folder and any missing parents with `mode`, and tightens an existing folder to it.
// Throws FileSystemError.
void createPrivateDirectories(const std::filesystem::path& path, mode_t mode = 0700);

}  // namespace nudgerly
