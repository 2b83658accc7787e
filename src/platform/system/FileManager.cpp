#include "platform/system/FileManager.h"

#include <cerrno>
#include <cstdio>
#include <limits>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include "core/FileSystemError.h"
#include "core/Files.h"

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

std::string quoted(const fs::path& path) {
    return "\u201C" + path.filename().string() + "\u201D";
}

// Copies an item (a folder with its contents); a half-made copy is taken away again.
void copyItem(const fs::path& source, const fs::path& destination, const std::string& context) {
    std::error_code error;
    fs::copy(source, destination, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
    if (error) {
        std::error_code ignored;
        fs::remove_all(destination, ignored);
        throw FileSystemError(context, error.value());
    }
}

void removeAll(const fs::path& path, const std::string& context) {
    std::error_code error;
    fs::remove_all(path, error);
    if (error) {
        throw FileSystemError(context, error.value());
    }
}

bool itemExists(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

bool SystemFileManager::fileExists(const fs::path& path) const {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

FileAttributes SystemFileManager::attributesOfItem(const fs::path& path) const {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw FileSystemError("Couldn't read the attributes of " + quoted(path), errno);
    }
    return {
        .size = static_cast<int64_t>(info.st_size),
        .modificationTime =
            FileTime(std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec)),
        .isDirectory = S_ISDIR(info.st_mode),
    };
}

std::optional<int64_t> SystemFileManager::availableCapacity(const fs::path& path) const {
    struct statvfs info {};
    if (::statvfs(path.c_str(), &info) != 0) {
        throw FileSystemError("Couldn't check the free space for " + quoted(path), errno);
    }
    const auto blockSize = static_cast<unsigned long long>(info.f_frsize);
    const auto blocks = static_cast<unsigned long long>(info.f_bavail);
    constexpr auto limit = static_cast<unsigned long long>(std::numeric_limits<int64_t>::max());
    if (blockSize != 0 && blocks > limit / blockSize) {
        return std::numeric_limits<int64_t>::max();
    }
    return static_cast<int64_t>(blocks * blockSize);
}

fs::path SystemFileManager::temporaryDirectory() const {
    std::error_code error;
    fs::path folder = fs::temp_directory_path(error);
    return error ? fs::path("/tmp") : folder;
}

std::vector<fs::path> SystemFileManager::contentsOfDirectory(const fs::path& path) const {
    const std::string context = "Couldn't list " + quoted(path);
    std::error_code error;
    std::vector<fs::path> entries;
    for (fs::directory_iterator entry(path, error), end; !error && entry != end; entry.increment(error)) {
        entries.push_back(entry->path());
    }
    if (error) {
        throw FileSystemError(context, error.value());
    }
    return entries;
}

std::string SystemFileManager::contents(const fs::path& path, std::size_t maxBytes) const {
    return readFile(path, maxBytes);
}

UniqueFd SystemFileManager::openForReading(const fs::path& path) const {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        throw FileSystemError("Couldn't read " + quoted(path), errno);
    }
    return fd;
}

void SystemFileManager::writeAtomically(const fs::path& path, std::string_view bytes) const {
    writeFileAtomically(path, bytes);
}

void SystemFileManager::createDirectories(const fs::path& path) const {
    createPrivateDirectories(path);
}

void SystemFileManager::removeItem(const fs::path& path) const {
    const std::string context = "Couldn't remove " + quoted(path);
    if (!itemExists(path)) {
        throw FileSystemError(context, errno);
    }
    removeAll(path, context);
}

void SystemFileManager::moveItem(const fs::path& source, const fs::path& destination) const {
    const std::string context = "Couldn't move " + quoted(source);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
        return;
    }
    int error = errno;
    // Across volumes, or where the file system cannot refuse to overwrite in one step, the
    // destination is checked by hand.
    if ((error == EXDEV || error == EINVAL) && itemExists(destination)) {
        throw FileSystemError(context, EEXIST);
    }
    if (error == EINVAL) {
        if (::rename(source.c_str(), destination.c_str()) == 0) {
            return;
        }
        error = errno;
    }
    if (error != EXDEV) {
        throw FileSystemError(context, error);
    }
    copyItem(source, destination, context);
    removeAll(source, context);
}

void SystemFileManager::replaceItem(const fs::path& original, const fs::path& replacement) const {
    const std::string context = "Couldn't replace " + quoted(original);
    if (::rename(replacement.c_str(), original.c_str()) == 0) {
        return;
    }
    if (errno != EXDEV) {
        throw FileSystemError(context, errno);
    }
    // From another volume: copy the replacement beside the original first, then swap in one step.
    const fs::path nearby = original.parent_path() / ("." + original.filename().string() + ".replacement");
    std::error_code ignored;
    fs::remove_all(nearby, ignored);
    copyItem(replacement, nearby, context);
    if (::rename(nearby.c_str(), original.c_str()) != 0) {
        const int error = errno;
        fs::remove_all(nearby, ignored);
        throw FileSystemError(context, error);
    }
    removeAll(replacement, context);
}

}  // namespace nudgerly
