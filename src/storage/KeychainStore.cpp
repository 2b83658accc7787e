#include "storage/KeychainStore.h"

namespace nudgerly::KeychainStore {

SecretStore store(const std::filesystem::path& secretsDirectory, const PersistenceConfiguration::Values& names) {
    return SecretStore(secretsDirectory, names.keychainService);
}

}  // namespace nudgerly::KeychainStore
