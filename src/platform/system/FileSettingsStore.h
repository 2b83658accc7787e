#pragma once

#include <cstddef>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/system/SettingsStore.h"

namespace nudgerly {

// The user defaults kept in one JSON object file. The file is read once when the store is made; every
// change is written back whole and atomically (folder 0700, file 0600). A file that reads but is not a
// JSON object (or nests deeper, or is larger, than settings ever are) is renamed aside to
// "<name>.corrupt-<time>" and the store starts empty, so a damaged file is kept for inspection and
// never overwritten. A link to a file of the user's own is followed (see followOwnFileLink) and the file
// is written where it ends. A file that cannot be read at all (too many open files, an I/O error, no
// permission, another link, a folder linked to another user's) is left alone: the store serves defaults and
// writes nothing until a later change finds the file readable again, when the file's values are taken
// up under the changes made meanwhile. `loadProblem()` tells of either. Safe to use from any thread.
class FileSettingsStore : public SettingsStore {
public:
    explicit FileSettingsStore(std::filesystem::path file);

    std::optional<nlohmann::json> value(std::string_view key) const override;
    void set(std::string_view key, nlohmann::json value) override;
    void remove(std::string_view key) override;
    // Names the file set aside, the damaged file left in place, or the file that could not be read.
    std::optional<std::string> loadProblem() const override;

    // Deeper values are taken for damage; settings nest two or three levels.
    static constexpr int maximumDepth = 64;
    // A larger file is taken for damage too, and refused before it is read. The completion marks are
    // never pruned (about 86 bytes each): years of a heavy user's marks stay far below this.
    static constexpr std::size_t maximumFileSize = 64 * 1024 * 1024;

private:
    enum class FileState {
        writable,
        unreadable,   // could not be read; read again before any write
        keptDamaged,  // damaged and could not be moved aside; never written
    };

    // Reads the file into memory, leaving alone the keys in `changedSince`, and says what became of it.
    FileState load(const std::set<std::string, std::less<>>& changedSince);
    FileState setAside();
    // Called with writeMutex_ held after `key` changed in memory.
    void persist(std::string_view key);

    const std::filesystem::path file_;
    InMemorySettingsStore memory_;
    // Serialises changes so that the file always ends with the latest values; readers never wait on it.
    std::mutex writeMutex_;
    FileState state_;                                            // guarded by writeMutex_
    std::set<std::string, std::less<>> changedWhileUnreadable_;  // guarded by writeMutex_
    std::optional<std::string> lastProblem_;                     // what the last load met; guarded by writeMutex_
    std::optional<std::string> loadProblem_;                     // what the first load met; fixed after construction
};

}  // namespace nudgerly
