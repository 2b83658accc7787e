#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "platform/secrets/Keyring.h"
#include "platform/secrets/SecretFileStore.h"

namespace nudgerly {

// The program's secrets (the Gmail tokens): in the desktop keyring when one answers, in private files
// (SecretFileStore) when none does, chosen again at every operation. Callers never learn which store
// answered, and no secret is lost moving between the two:
//
// - A file is written only while the keyring cannot take the secret, so a file is always the newest
//   copy. Loading returns it and, when the keyring answers, moves it there: written, read back,
//   compared, and only then is the file deleted. Any failure leaves the file.
// - Saving goes to the keyring and then deletes any file; when the keyring cannot take it, to a file.
//   It throws only when both fail, and the previous secret then stays.
// - Removing deletes in both. When the keyring cannot be reached it leaves a marker beside the files,
//   and the next operation that reaches the keyring first deletes the item there, so a removed secret
//   never comes back.
//
// Copies share one store: its operations take turns, so a move into the keyring never races a save.
// With a keyring the calls block on D-Bus (and may wait for the desktop's unlock prompt): run them on
// a worker, never on the main thread. Each ends early with CancelledError when `stop` is requested.
class SecretStore {
public:
    // Files only, under `root`/`service` (see SecretFileStore): for machines without a keyring, and tests.
    SecretStore(std::filesystem::path root, std::string_view service);
    // The keyring first, the files when it cannot be used. A null `keyring` means files only.
    SecretStore(SecretFileStore files, std::shared_ptr<const Keyring> keyring);

    // The stored bytes; absent when there is no secret or it cannot be read.
    std::optional<std::string> load(std::string_view account, std::stop_token stop = {}) const;

    // Stores `bytes` for `account`, replacing any previous secret. Throws FileSystemError when neither
    // store can take it; the previous secret is then unchanged.
    void save(std::string_view bytes, std::string_view account, std::stop_token stop = {}) const;

    // Forgets the account's secret. Nothing is reported: a missing secret is already forgotten.
    void remove(std::string_view account, std::stop_token stop = {}) const;

    // The name of the marker left for `account` when a removal could not reach the keyring. It starts
    // with "." so no account's file can have it.
    static std::string removalMarkerName(std::string_view account);

private:
    class Shared;
    std::shared_ptr<Shared> shared_;
};

}  // namespace nudgerly
