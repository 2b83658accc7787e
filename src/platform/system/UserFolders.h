#pragma once

#include <filesystem>
#include <string>

// Where the user's per-application files belong, following the XDG base-directory rules.
namespace nudgerly::UserFolders {

// $HOME when it is an absolute path, otherwise the home folder of the user's account entry; "/" when
// neither is known, so that nothing is ever written relative to the working folder.
std::filesystem::path home();

// $XDG_DATA_HOME when it is an absolute path, otherwise ~/.local/share. Data folders live here.
std::filesystem::path dataHome();

// $XDG_CONFIG_HOME when it is an absolute path, otherwise ~/.config. Settings and secrets live here,
// apart from the data folder.
std::filesystem::path configHome();

// `path` as a person reads it: with the home folder written "~" when it lies inside it.
std::string shown(const std::filesystem::path& path);

}  // namespace nudgerly::UserFolders
