#pragma once

#include <filesystem>

#include "platform/SecretStore.h"
#include "storage/PersistenceConfiguration.h"

// The application's secret items (the Gmail tokens, account "gmail-oauth-tokens") live in a secret
// store under the build's keychain service name; loading reads absent for any failure, saving
// replaces the item atomically and throws FileSystemError, removing ignores failures.
namespace nudgerly::KeychainStore {

// The build's store: the service folder named after `names.keychainService` under `secretsDirectory`.
SecretStore store(const std::filesystem::path& secretsDirectory, const PersistenceConfiguration::Values& names);

}  // namespace nudgerly::KeychainStore
