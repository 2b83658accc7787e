#pragma once

#include <filesystem>

#include "storage/PersistenceConfiguration.h"

// The data folder: the snapshot files, the model packs ("ModelPacks") and an optional OAuth client
// file. Settings and secrets live apart from it (`configurationDirectory`), so deleting local data
// keeps them.
namespace nudgerly::AppFiles {

// The data home followed by the build's data folder name. Not created.
std::filesystem::path directory(const std::filesystem::path& dataHome, const PersistenceConfiguration::Values& names);

// The configuration home followed by the build's data folder name: the settings file and the secrets.
// Not created.
std::filesystem::path configurationDirectory(const std::filesystem::path& configHome,
                                             const PersistenceConfiguration::Values& names);

// "settings.json" in the configuration folder.
std::filesystem::path settingsFile(const std::filesystem::path& configurationDirectory);

// The root of the secrets, "secrets" in the configuration folder.
std::filesystem::path secretsDirectory(const std::filesystem::path& configurationDirectory);

// Creates `folder` with its missing parents, private to the user (0700); an existing folder is
// tightened to 0700. Throws FileSystemError.
void prepare(const std::filesystem::path& folder);

// Removes every entry of `folder` except the "ModelPacks" folder, then the folder itself when no model
// packs remain. Nothing happens when the folder does not exist; a folder that is a link to another
// user's folder is refused with nothing removed. Stops at the first failure and throws
// it as FileSystemError; entries removed before it stay removed.
void deleteLocalData(const std::filesystem::path& folder);

}  // namespace nudgerly::AppFiles
