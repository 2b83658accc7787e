#include "platform/secrets/SecretStore.h"

#include <condition_variable>
#include <mutex>

#include <unistd.h>

#include "core/CancelledError.h"
#include "core/Files.h"

namespace nudgerly {

// What copies of one store share: both stores and the turn-taking between operations.
class SecretStore::Shared {
public:
    Shared(SecretFileStore files, std::shared_ptr<const Keyring> keyring)
        : files(std::move(files)), keyring(std::move(keyring)) {}

    const SecretFileStore files;
    const std::shared_ptr<const Keyring> keyring;

    // One operation at a time; a caller waiting for its turn leaves when its stop is requested.
    class Turn {
    public:
        Turn(Shared& shared, std::stop_token stop) : shared_(shared) {
            std::unique_lock lock(shared_.mutex_);
            if (!shared_.turnEnded_.wait(lock, stop, [this] { return !shared_.busy_; })) {
                throw CancelledError();
            }
            shared_.busy_ = true;
        }
        ~Turn() {
            {
                const std::lock_guard lock(shared_.mutex_);
                shared_.busy_ = false;
            }
            shared_.turnEnded_.notify_one();
        }
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;

    private:
        Shared& shared_;
    };

    std::filesystem::path markerPath(std::string_view account) const {
        return files.folder() / removalMarkerName(account);
    }
    bool removalPending(std::string_view account) const {
        std::error_code error;
        return std::filesystem::exists(markerPath(account), error) || error;
    }
    void markRemovalPending(std::string_view account) const {
        try {
            createPrivateDirectories(files.folder().parent_path());
            createPrivateDirectories(files.folder());
            writeFileAtomically(markerPath(account), "");
        } catch (const std::exception&) {
            // Removing never fails visibly; the secret files are gone already.
        }
    }
    void clearRemovalPending(std::string_view account) const { ::unlink(markerPath(account).c_str()); }

    // Deletes the keyring's item that a removal without the keyring left behind. Throws KeyringError
    // while it cannot, so that the stale item is never served or kept.
    void finishPendingRemoval(std::string_view account, std::stop_token stop) const {
        if (removalPending(account)) {
            keyring->remove(account, stop);
            clearRemovalPending(account);
        }
    }

private:
    std::mutex mutex_;
    std::condition_variable_any turnEnded_;
    bool busy_ = false;
};

std::string SecretStore::removalMarkerName(std::string_view account) {
    return "." + SecretFileStore::fileName(account) + ".removed";
}

SecretStore::SecretStore(std::filesystem::path root, std::string_view service)
    : SecretStore(SecretFileStore(std::move(root), service), nullptr) {}

SecretStore::SecretStore(SecretFileStore files, std::shared_ptr<const Keyring> keyring)
    : shared_(std::make_shared<Shared>(std::move(files), std::move(keyring))) {}

std::optional<std::string> SecretStore::load(std::string_view account, std::stop_token stop) const {
    const Shared::Turn turn(*shared_, stop);
    const Shared& shared = *shared_;
    std::optional<std::string> file = shared.files.load(account, stop);
    if (!shared.keyring) {
        return file;
    }
    try {
        shared.finishPendingRemoval(account, stop);
        if (!file) {
            return shared.keyring->load(account, stop);
        }
        shared.keyring->save(*file, account, stop);
        if (shared.keyring->load(account, stop) == file) {
            shared.files.remove(account);
        }
    } catch (const KeyringError&) {
        // The file, if any, is the newest copy and stays until a later move succeeds.
    }
    return file;
}

void SecretStore::save(std::string_view bytes, std::string_view account, std::stop_token stop) const {
    const Shared::Turn turn(*shared_, stop);
    const Shared& shared = *shared_;
    if (shared.keyring) {
        try {
            shared.finishPendingRemoval(account, stop);
            shared.keyring->save(bytes, account, stop);
            // An older file left behind would later pass for the newest copy; if it cannot go, it at
            // least holds the same bytes.
            if (!shared.files.remove(account)) {
                shared.files.save(bytes, account);
            }
            return;
        } catch (const KeyringError&) {
            // Kept in a file instead, which a later operation moves into the keyring.
        }
    }
    shared.files.save(bytes, account);
}

void SecretStore::remove(std::string_view account, std::stop_token stop) const {
    const Shared::Turn turn(*shared_, stop);
    const Shared& shared = *shared_;
    shared.files.remove(account);
    if (!shared.keyring) {
        return;
    }
    try {
        shared.keyring->remove(account, stop);
        shared.clearRemovalPending(account);
    } catch (const KeyringError&) {
        shared.markRemovalPending(account);
    } catch (const CancelledError&) {
        shared.markRemovalPending(account);  // the item may still be there
        throw;
    }
}

}  // namespace nudgerly
