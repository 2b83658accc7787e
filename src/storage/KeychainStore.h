#pragma once

#include <filesystem>

#include "platform/secrets/SecretStore.h"
#include "storage/PersistenceConfiguration.h"

// The application's secret items (the Gmail tokens, account "gmail-oauth-tokens") live under the
// build's keychain service name: in the desktop keyring when the session has one, else in private
// files. Loading reads absent for any failure, saving replaces the item and throws FileSystemError only
// when neither store takes it, removing ignores failures (see SecretStore).
namespace nudgerly::KeychainStore {

// The build's store: the desktop keyring for `names.keychainService`, with the service folder of that
// name under `secretsDirectory` for when the keyring cannot be used.
SecretStore store(const std::filesystem::path& secretsDirectory, const PersistenceConfiguration::Values& names);

// The same files without the keyring, for environments that must not reach outside their folders.
SecretStore fileStore(const std::filesystem::path& secretsDirectory, const PersistenceConfiguration::Values& names);

}  // namespace nudgerly::KeychainStore
