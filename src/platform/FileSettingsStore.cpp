#include "platform/FileSettingsStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "core/Date.h"
#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/JsonCoding.h"

namespace nudgerly {
namespace {

// "20260301T093000Z": the current time, safe in a file name.
std::string fileNameTimestamp() {
    std::string stamp = Iso8601::format(Date::now()).value_or("unknown");
    std::erase_if(stamp, [](char c) { return c == '-' || c == ':'; });
    return stamp;
}

}  // namespace

FileSettingsStore::FileSettingsStore(std::filesystem::path file) : file_(std::move(file)) {
    state_ = load({});
}

FileSettingsStore::FileState FileSettingsStore::load(const std::set<std::string, std::less<>>& changedSince) {
    std::string bytes;
    try {
        bytes = readOwnFile(file_, maximumFileSize);
    } catch (const FileSystemError& error) {
        if (error.errorNumber() == EFBIG) {
            return setAside();
        }
        // Only a file that is not there may be written afresh; one that exists but could not be read
        // this time still holds the user's settings.
        return error.errorNumber() == ENOENT ? FileState::writable : FileState::unreadable;
    }
    nlohmann::json stored;
    try {
        stored = parseJson(bytes, maximumDepth);
    } catch (const JsonDecodingError&) {
        return setAside();
    }
    if (!stored.is_object()) {
        return setAside();
    }
    for (auto& [key, value] : stored.items()) {
        if (!changedSince.contains(key)) {
            memory_.set(key, std::move(value));
        }
    }
    return FileState::writable;
}

FileSettingsStore::FileState FileSettingsStore::setAside() {
    const std::string base = file_.filename().string() + ".corrupt-" + fileNameTimestamp();
    std::filesystem::path aside = file_.parent_path() / base;
    std::error_code error;
    for (int attempt = 2; std::filesystem::exists(aside, error) && attempt < 100; ++attempt) {
        aside = file_.parent_path() / (base + "-" + std::to_string(attempt));
    }
    if (std::filesystem::exists(aside, error) || std::rename(file_.c_str(), aside.c_str()) != 0) {
        return FileState::keptDamaged;
    }
    return FileState::writable;
}

std::optional<nlohmann::json> FileSettingsStore::value(std::string_view key) const {
    return memory_.value(key);
}

void FileSettingsStore::set(std::string_view key, nlohmann::json value) {
    std::lock_guard writing(writeMutex_);
    memory_.set(key, std::move(value));
    persist(key);
}

void FileSettingsStore::remove(std::string_view key) {
    std::lock_guard writing(writeMutex_);
    memory_.remove(key);
    persist(key);
}

void FileSettingsStore::persist(std::string_view key) {
    if (state_ == FileState::unreadable) {
        changedWhileUnreadable_.emplace(key);
        state_ = load(changedWhileUnreadable_);
        if (state_ == FileState::unreadable) {
            return;
        }
        changedWhileUnreadable_.clear();
    }
    if (state_ != FileState::writable) {
        return;
    }
    nlohmann::json object = nlohmann::json::object();
    for (auto& [name, value] : memory_.allValues()) {
        object[name] = std::move(value);
    }
    // The library's printer never fails (a non-finite number becomes null, broken UTF-8 is replaced),
    // so one odd value cannot stop every later save.
    const std::string bytes = object.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    try {
        createPrivateDirectories(file_.parent_path());
        writeFileAtomically(file_, bytes);
    } catch (const FileSystemError&) {
        // Settings writes report nothing, as the user defaults never did; the values stay in memory and
        // the next change tries again with all of them.
    }
}

}  // namespace nudgerly
