#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/SecretStore.h"

// The one secret item of the application (the Gmail tokens, account "gmail-oauth-tokens"), kept in
// the secret store under the build's service name.
namespace nudgerly::KeychainStore {

// The store for this process: the secrets folder and the build's service name, fixed on first use.
const SecretStore& store();

// The item's data; absent for any failure.
std::optional<std::string> load(std::string_view account);

// Replaces the item's data atomically: when saving fails, the previous data stay. Throws
// FileSystemError.
void save(std::string_view data, std::string_view account);

// Deletes the item; a failure, or no item, is ignored. (Named `remove` as `delete` is a keyword.)
void remove(std::string_view account);

}  // namespace nudgerly::KeychainStore
