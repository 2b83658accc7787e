#pragma once

#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace nudgerly {

// Small secrets kept as files, where no desktop keyring can take them: one file per account in a folder
// per service, "<root>/<service>/<account>". Folders are 0700 and files 0600. A save replaces the file
// atomically, so a failed save leaves the previous secret in place. Service and account names are made
// safe as file names (see `fileName`), so no name can reach outside its folder. Safe from any thread:
// each operation is one file-system call sequence on its own file.
class SecretFileStore {
public:
    SecretFileStore(std::filesystem::path root, std::string_view service);

    // The stored bytes; absent when there is no secret or it cannot be read, and when the file is larger
    // than any secret of ours (`largestSecret`), which is then not read. Throws CancelledError when
    // `stop` is requested.
    std::optional<std::string> load(std::string_view account, std::stop_token stop = {}) const;

    // Tokens take a few kilobytes.
    static constexpr std::size_t largestSecret = 64 * 1024;

    // Stores `bytes` for `account`, replacing any previous secret. Throws FileSystemError; the previous
    // secret is then unchanged.
    void save(std::string_view bytes, std::string_view account) const;

    // Forgets the account's secret, with the temporary copies of saves that were stopped before they
    // ended. True when no secret file is left (a missing one is already forgotten).
    bool remove(std::string_view account) const;

    const std::filesystem::path& folder() const { return folder_; }

    // The file name for a service or account name: bytes other than A-Z, a-z, 0-9, "_", "-" and ".",
    // and a leading ".", are written as "%XX", so a name can never be "." or "..", hidden, or hold a
    // "/". Names that would come out empty or too long for a file name become "%sha256-<hex digest>",
    // a form that encoding never produces.
    static std::string fileName(std::string_view name);

private:
    std::filesystem::path root_;
    std::filesystem::path folder_;
};

}  // namespace nudgerly
