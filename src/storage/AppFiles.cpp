#include "storage/AppFiles.h"

#include <system_error>
#include <vector>

#include "core/FileSystemError.h"
#include "core/Files.h"

namespace nudgerly::AppFiles {
namespace {

namespace fs = std::filesystem;

constexpr const char* modelPacksFolderName = "ModelPacks";

std::string quoted(const fs::path& path) {
    return "\u201C" + path.filename().string() + "\u201D";
}

void throwIfFailed(const std::error_code& error, const std::string& context) {
    if (error) {
        throw FileSystemError(context, error.value());
    }
}

}  // namespace

fs::path directory(const fs::path& dataHome, const PersistenceConfiguration::Values& names) {
    return dataHome / names.applicationSupportDirectoryName;
}

fs::path configurationDirectory(const fs::path& configHome, const PersistenceConfiguration::Values& names) {
    return configHome / names.applicationSupportDirectoryName;
}

fs::path settingsFile(const fs::path& configurationDirectory) {
    return configurationDirectory / "settings.json";
}

fs::path secretsDirectory(const fs::path& configurationDirectory) {
    return configurationDirectory / "secrets";
}

void prepare(const fs::path& folder) {
    createPrivateDirectories(folder);
}

void deleteLocalData(const fs::path& folder) {
    std::error_code error;
    if (!fs::exists(folder, error)) {
        return;
    }
    requireOwnFolder(folder);  // never empty another user's folder
    const fs::path modelPacks = folder / modelPacksFolderName;

    std::vector<fs::path> entries;
    fs::directory_iterator listing(folder, error);
    throwIfFailed(error, "Couldn't list " + quoted(folder));
    for (const fs::directory_iterator end; listing != end; listing.increment(error)) {
        entries.push_back(listing->path());
    }
    throwIfFailed(error, "Couldn't list " + quoted(folder));

    for (const auto& entry : entries) {
        // Only the real model-pack folder is kept; a file or a link of that name is removed.
        if (entry.filename() == modelPacksFolderName && fs::is_directory(fs::symlink_status(entry, error))) {
            continue;
        }
        fs::remove_all(entry, error);
        throwIfFailed(error, "Couldn't delete " + quoted(entry));
    }

    if (fs::exists(modelPacks, error)) {
        return;
    }
    fs::remove(folder, error);
    throwIfFailed(error, "Couldn't delete " + quoted(folder));
}

}  // namespace nudgerly::AppFiles
