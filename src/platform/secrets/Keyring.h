#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "core/UserFacingError.h"

namespace nudgerly {

// The keyring could not be used for an operation: no session, no service, locked, refused, or broken.
class KeyringError : public UserFacingError {
public:
    using UserFacingError::UserFacingError;
};

// A keyring holding one secret per account under a fixed service. Unlike the secret store the program
// uses, it reports every failure (KeyringError), so that the store can fall back on its files and
// never mistake "couldn't ask" for "nothing there". CancelledError when `stop` is requested.
class Keyring {
public:
    virtual ~Keyring() = default;

    // The stored bytes, or absent when the keyring holds none for the account (or keeps them locked).
    virtual std::optional<std::string> load(std::string_view account, std::stop_token stop) const = 0;
    // Replaces the account's secret in place; the previous one stays when this throws.
    virtual void save(std::string_view bytes, std::string_view account, std::stop_token stop) const = 0;
    // Deletes every item of the account; a missing one is not an error.
    virtual void remove(std::string_view account, std::stop_token stop) const = 0;
};

}  // namespace nudgerly
