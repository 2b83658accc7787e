#pragma once

#include <filesystem>
#include <memory>

#include "platform/secrets/SecretStore.h"
#include "platform/system/AppInfo.h"
#include "platform/system/SettingsStore.h"
#include "storage/PersistenceConfiguration.h"

namespace nudgerly {

// Where this program keeps things and who it is, built once and passed down; nothing here is a
// process-wide global, so tests build as many as they like side by side.
//
// How to get each thing:
//   main:   AppEnvironment environment = AppEnvironment::forProcess();   (once, before anything else)
//   tests:  test::TempDir root;  AppEnvironment environment = AppEnvironment::underRoot(root.path());
//   environment.info                    the information dictionary (version, bundle id, endpoints)
//   environment.names                   this build's folder and keychain names
//   environment.dataDirectory           snapshots, "ModelPacks", the OAuth client file; not created
//                                       until AppFiles::prepare(environment.dataDirectory)
//   environment.configurationDirectory  settings and secrets; kept when local data is deleted
//   *environment.settings               the user defaults ("settings.json" in the configuration folder)
//   environment.secrets                 the keychain items: the desktop keyring under the keychain
//                                       service, or "secrets/<keychain service>/<account>" files where
//                                       no keyring answers; blocking, so called from workers only
// Hand a class the one part it needs (a folder, the settings, the secrets) rather than the whole.
struct AppEnvironment {
    AppInfo info;
    PersistenceConfiguration::Values names;
    std::filesystem::path dataDirectory;
    std::filesystem::path configurationDirectory;
    std::shared_ptr<SettingsStore> settings;
    SecretStore secrets;

    // The running program's: the installed information dictionary and the user's XDG folders.
    static AppEnvironment forProcess();
    // The configuration folder that forProcess() uses, found without reading or writing anything there.
    static std::filesystem::path configurationDirectoryForProcess();

    // `info`'s names under the given data and configuration homes, with settings kept in a file there
    // and secrets in files there too: only the process's own environment reaches the desktop keyring.
    // The stale temporary files of interrupted saves are removed from the program's folders.
    static AppEnvironment withHomes(AppInfo info, const std::filesystem::path& dataHome,
                                    const std::filesystem::path& configHome);

    // Everything below `root` ("<root>/data" and "<root>/config"), for tests; `info` defaults to the
    // built-in dictionary without any installed overlay.
    static AppEnvironment underRoot(const std::filesystem::path& root,
                                    AppInfo info = AppInfo(AppInfo::compiledDefaults()));
};

}  // namespace nudgerly
