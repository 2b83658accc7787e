#include "storage/AppEnvironment.h"

#include "core/Files.h"
#include "platform/system/FileSettingsStore.h"
#include "platform/system/UserFolders.h"
#include "storage/AppFiles.h"
#include "storage/KeychainStore.h"

namespace nudgerly {

AppEnvironment AppEnvironment::forProcess() {
    AppEnvironment environment = withHomes(AppInfo::installed(), UserFolders::dataHome(), UserFolders::configHome());
    environment.secrets =
        KeychainStore::store(AppFiles::secretsDirectory(environment.configurationDirectory), environment.names);
    return environment;
}

std::filesystem::path AppEnvironment::configurationDirectoryForProcess() {
    return AppFiles::configurationDirectory(UserFolders::configHome(),
                                            PersistenceConfiguration::compute(AppInfo::installed()));
}

AppEnvironment AppEnvironment::withHomes(AppInfo info, const std::filesystem::path& dataHome,
                                         const std::filesystem::path& configHome) {
    PersistenceConfiguration::Values names = PersistenceConfiguration::compute(info);
    std::filesystem::path data = AppFiles::directory(dataHome, names);
    std::filesystem::path configuration = AppFiles::configurationDirectory(configHome, names);
    // Saves that a kill or a power loss stopped left their temporary files; none of them is read.
    for (const auto& folder :
         {data, configuration,
          SecretFileStore(AppFiles::secretsDirectory(configuration), names.keychainService).folder()}) {
        removeStaleTemporariesIn(folder);
    }
    // A settings file kept elsewhere through a link is written beside its target, so its leftovers are there.
    const std::filesystem::path settingsFile = AppFiles::settingsFile(configuration);
    removeStaleTemporaries(followOwnFileLink(settingsFile));
    auto settings = std::make_shared<FileSettingsStore>(settingsFile);
    SecretStore secrets = KeychainStore::fileStore(AppFiles::secretsDirectory(configuration), names);
    return {
        .info = std::move(info),
        .names = std::move(names),
        .dataDirectory = std::move(data),
        .configurationDirectory = std::move(configuration),
        .settings = std::move(settings),
        .secrets = std::move(secrets),
    };
}

AppEnvironment AppEnvironment::underRoot(const std::filesystem::path& root, AppInfo info) {
    return withHomes(std::move(info), root / "data", root / "config");
}

}  // namespace nudgerly
