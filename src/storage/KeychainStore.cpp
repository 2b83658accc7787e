#include "storage/KeychainStore.h"

#include "storage/AppFiles.h"
#include "storage/PersistenceConfiguration.h"

namespace nudgerly::KeychainStore {

const SecretStore& store() {
    static const SecretStore secrets(AppFiles::secretsDirectory(), PersistenceConfiguration::keychainService());
    return secrets;
}

std::optional<std::string> load(std::string_view account) {
    return store().load(account);
}

void save(std::string_view data, std::string_view account) {
    store().save(data, account);
}

void remove(std::string_view account) {
    store().remove(account);
}

}  // namespace nudgerly::KeychainStore
