#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/SettingsStore.h"

namespace nudgerly {

// The user defaults kept in one JSON object file. The file is read once when the store is made; every
// change is written back whole and atomically (folder 0700, file 0600). A file that cannot be read as
// a JSON object is renamed aside to "<name>.corrupt-<time>" and the store starts empty, so a damaged
// file is kept for inspection and never overwritten. Safe to use from any thread.
class FileSettingsStore : public SettingsStore {
public:
    explicit FileSettingsStore(std::filesystem::path file);

    std::optional<nlohmann::json> value(std::string_view key) const override;
    void set(std::string_view key, nlohmann::json value) override;
    void remove(std::string_view key) override;

    const std::filesystem::path& file() const { return file_; }

private:
    void load();
    void setAside();
    void persist();

    const std::filesystem::path file_;
    InMemorySettingsStore memory_;
    // False when a damaged file could not be moved aside: changes then stay in memory rather than
    // replace it. Set only while the store is made.
    bool writable_ = true;
    // Serialises writes so that the file always ends with the latest values; readers never wait on it.
    std::mutex writeMutex_;
};

}  // namespace nudgerly
