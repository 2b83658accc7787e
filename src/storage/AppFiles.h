#pragma once

#include <filesystem>

// The data folder: the snapshot files, the model packs ("ModelPacks") and an optional OAuth client
// file. Settings and secrets live apart from it (`configurationDirectory`), so deleting local data
// keeps them.
namespace nudgerly::AppFiles {

// The data home followed by the data folder name. Computed once, on first use; not created.
const std::filesystem::path& directory();

// The configuration home followed by the data folder name: the settings file and the secrets.
// Computed once, on first use; not created.
const std::filesystem::path& configurationDirectory();

// "settings.json" in the configuration folder.
std::filesystem::path settingsFile();

// The root of the secrets, "secrets" in the configuration folder.
std::filesystem::path secretsDirectory();

// Creates `folder` with its missing parents, private to the user (0700); an existing folder is
// tightened to 0700. Throws FileSystemError.
void prepare(const std::filesystem::path& folder);
inline void prepare() { prepare(directory()); }

// Removes every entry of `folder` except the "ModelPacks" folder, then the folder itself when no model
// packs remain. Nothing happens when the folder does not exist. Stops at the first failure and throws
// it as FileSystemError; entries removed before it stay removed.
void deleteLocalData(const std::filesystem::path& folder);

}  // namespace nudgerly::AppFiles
