#include "platform/secrets/SecretFileStore.h"

#include <cerrno>

#include <unistd.h>

#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/Sha256.h"

namespace nudgerly {
namespace {

// Well below the usual 255-byte file-name limit, leaving room for the atomic writer's temporary name.
constexpr std::size_t longestFileName = 200;

bool isPlain(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.';
}

}  // namespace

std::string SecretFileStore::fileName(std::string_view name) {
    static constexpr char hexDigits[] = "0123456789ABCDEF";
    std::string encoded;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (isPlain(c) && !(i == 0 && c == '.')) {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += hexDigits[c >> 4];
            encoded += hexDigits[c & 0xF];
        }
    }
    if (encoded.empty() || encoded.size() > longestFileName) {
        return "%sha256-" + Sha256::hexDigest(name);
    }
    return encoded;
}

SecretFileStore::SecretFileStore(std::filesystem::path root, std::string_view service)
    : root_(std::move(root)), folder_(root_ / fileName(service)) {}

std::optional<std::string> SecretFileStore::load(std::string_view account, std::stop_token stop) const {
    try {
        return readOwnFile(folder_ / fileName(account), largestSecret, stop);
    } catch (const FileSystemError&) {
        return std::nullopt;
    }
}

void SecretFileStore::save(std::string_view bytes, std::string_view account) const {
    // Both folders are ours and private; an existing one made with looser permissions is tightened.
    createPrivateDirectories(root_);
    createPrivateDirectories(folder_);
    writeFileAtomically(folder_ / fileName(account), bytes, 0600);
}

bool SecretFileStore::remove(std::string_view account) const {
    const std::filesystem::path file = folder_ / fileName(account);
    const bool removed = ::unlink(file.c_str()) == 0 || errno == ENOENT;
    // A save stopped before its rename left a whole copy of the secret; however young, it goes too.
    removeStaleTemporaries(file, std::chrono::seconds(0));
    return removed;
}

}  // namespace nudgerly
