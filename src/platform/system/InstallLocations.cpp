#include "platform/system/InstallLocations.h"

#include <system_error>

namespace nudgerly::InstallLocations {
namespace {

namespace fs = std::filesystem;

std::optional<fs::path> prefixFolder(const char* kind) {
    const auto program = programFolder();
    if (!program) {
        return std::nullopt;
    }
    return (program->parent_path() / kind / "nudgerly").lexically_normal();
}

}  // namespace

std::optional<fs::path> programFolder() {
    std::error_code error;
    const auto program = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        // Never fall back to the working folder: files there are not ours.
        return std::nullopt;
    }
    return program.parent_path();
}

std::optional<fs::path> privateLibraryFolder() {
    return prefixFolder("lib");
}

std::optional<fs::path> resourceFolder() {
    return prefixFolder("share");
}

}  // namespace nudgerly::InstallLocations
