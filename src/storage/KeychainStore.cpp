#include "storage/KeychainStore.h"

#include "platform/secrets/SecretServiceStore.h"

namespace nudgerly::KeychainStore {

SecretStore store(const std::filesystem::path& secretsDirectory, const PersistenceConfiguration::Values& names) {
    return SecretStore(SecretFileStore(secretsDirectory, names.keychainService),
                       std::make_shared<SecretServiceStore>(names.keychainService));
}

SecretStore fileStore(const std::filesystem::path& secretsDirectory, const PersistenceConfiguration::Values& names) {
    return SecretStore(secretsDirectory, names.keychainService);
}

}  // namespace nudgerly::KeychainStore
