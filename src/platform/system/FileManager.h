#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/UniqueFd.h"

namespace nudgerly {

// File times keep the system's full nanosecond precision.
using FileTime = std::chrono::sys_time<std::chrono::nanoseconds>;

struct FileAttributes {
    int64_t size = 0;
    FileTime modificationTime;
    bool isDirectory = false;

    friend bool operator==(const FileAttributes&, const FileAttributes&) = default;
};

// The file operations that model downloads and installs need, behind an interface so that tests can
// stand in for the disk (free space above all). Failures are thrown as FileSystemError, whose text is
// a short English sentence naming the item, never the C library's own message. Symbolic links are
// followed, except that removing a link removes the link itself.
class FileManager {
public:
    virtual ~FileManager() = default;

    virtual bool fileExists(const std::filesystem::path& path) const = 0;
    virtual FileAttributes attributesOfItem(const std::filesystem::path& path) const = 0;
    // Bytes this user may still write on the volume holding `path`; absent when the system does not
    // say. Throws when the volume cannot be examined.
    virtual std::optional<int64_t> availableCapacity(const std::filesystem::path& path) const = 0;
    // Where the system keeps temporary files.
    virtual std::filesystem::path temporaryDirectory() const = 0;
    // The paths of a folder's entries, in no particular order.
    virtual std::vector<std::filesystem::path> contentsOfDirectory(const std::filesystem::path& path) const = 0;

    // The whole file; a file of more than `maxBytes` is not read and throws FileSystemError (EFBIG).
    virtual std::string contents(const std::filesystem::path& path,
                                 std::size_t maxBytes = std::numeric_limits<std::size_t>::max()) const = 0;
    // The file opened for reading, for files too large to read whole.
    virtual UniqueFd openForReading(const std::filesystem::path& path) const = 0;
    // Writes a private file (0600) atomically: readers see the old bytes or the new, never a part.
    virtual void writeAtomically(const std::filesystem::path& path, std::string_view bytes) const = 0;

    // Creates the folder and its missing parents (private to the user).
    virtual void createDirectories(const std::filesystem::path& path) const = 0;
    // Removes a file, or a folder with everything in it. A missing item is an error.
    virtual void removeItem(const std::filesystem::path& path) const = 0;
    // Moves an item to a place where nothing exists yet, across volumes if need be.
    virtual void moveItem(const std::filesystem::path& source, const std::filesystem::path& destination) const = 0;
    // Puts `replacement` in the place of `original` in one step, so readers see one or the other.
    virtual void replaceItem(const std::filesystem::path& original, const std::filesystem::path& replacement) const = 0;
};

// The real disk.
class SystemFileManager : public FileManager {
public:
    bool fileExists(const std::filesystem::path& path) const override;
    FileAttributes attributesOfItem(const std::filesystem::path& path) const override;
    std::optional<int64_t> availableCapacity(const std::filesystem::path& path) const override;
    std::filesystem::path temporaryDirectory() const override;
    std::vector<std::filesystem::path> contentsOfDirectory(const std::filesystem::path& path) const override;

    std::string contents(const std::filesystem::path& path,
                         std::size_t maxBytes = std::numeric_limits<std::size_t>::max()) const override;
    UniqueFd openForReading(const std::filesystem::path& path) const override;
    void writeAtomically(const std::filesystem::path& path, std::string_view bytes) const override;

    void createDirectories(const std::filesystem::path& path) const override;
    void removeItem(const std::filesystem::path& path) const override;
    void moveItem(const std::filesystem::path& source, const std::filesystem::path& destination) const override;
    void replaceItem(const std::filesystem::path& original, const std::filesystem::path& replacement) const override;
};

}  // namespace nudgerly
