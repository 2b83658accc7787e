#pragma once

#include <filesystem>
#include <optional>

// Where the installed program finds the files shipped with it. The program lives in <prefix>/bin; its
// private helper programs in <prefix>/lib/nudgerly and its read-only resources in <prefix>/share/nudgerly,
// so an installation works wherever its prefix is (/usr, /usr/local, /opt/nudgerly, a build tree).
namespace nudgerly::InstallLocations {

// The folder of the running program; absent when the system does not say.
std::optional<std::filesystem::path> programFolder();

// <prefix>/lib/nudgerly: helper programs such as the model runtime.
std::optional<std::filesystem::path> privateLibraryFolder();

// <prefix>/share/nudgerly: resources such as a model shipped with the program.
std::optional<std::filesystem::path> resourceFolder();

}  // namespace nudgerly::InstallLocations
