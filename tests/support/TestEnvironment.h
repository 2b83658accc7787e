#pragma once

#include <cstdint>
#include <filesystem>

#include <sys/resource.h>
#include <sys/types.h>

// Process-level set-ups for tests: private user folders and file size limits.
namespace nudgerly::test {

// Points HOME, XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR of this test process at a private
// temporary folder (removed at exit) and forgets the session bus, so that nothing a test runs can reach
// the user's real files or desktop keyring. Call it from a
// namespace-scope initialiser of the test program, before any test runs; returns that folder.
const std::filesystem::path& isolateUserFolders();

// The permission bits of a file or folder (0 when it cannot be examined).
mode_t fileMode(const std::filesystem::path& path);

// Makes a folder that belongs to another user ("nobody"); false when this process may not give it away
// (only root may).
bool makeOtherUsersFolder(const std::filesystem::path& path);

// A file of `size` bytes that takes no room on the disk (all zeros, a hole).
void makeSparseFile(const std::filesystem::path& path, uint64_t size);

// The bytes this process's read calls have returned so far (the kernel's count, "rchar"), so that a test
// can tell that a file was not read.
uint64_t bytesReadByThisProcess();

// Lowers the largest file this process may write to `bytes` for the life of the object, so that a
// write beyond it fails with EFBIG, even for root. Keep the scope to the one call that should fail.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
};

}  // namespace nudgerly::test
