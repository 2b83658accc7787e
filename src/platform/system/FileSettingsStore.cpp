#include "platform/system/FileSettingsStore.h"

#include <cerrno>

#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/JsonCoding.h"

namespace nudgerly {

FileSettingsStore::FileSettingsStore(std::filesystem::path file) : file_(std::move(file)) {
    state_ = load({});
    loadProblem_ = std::move(lastProblem_);
}

FileSettingsStore::FileState FileSettingsStore::load(const std::set<std::string, std::less<>>& changedSince) {
    std::string bytes;
    try {
        bytes = readOwnFile(followOwnFileLink(file_), maximumFileSize);
    } catch (const FileSystemError& error) {
        if (error.errorNumber() == EFBIG) {
            return setAside();
        }
        // Only a file that is not there may be written afresh; one that exists but could not be read
        // this time still holds the user's settings.
        if (error.errorNumber() == ENOENT) {
            return FileState::writable;
        }
        lastProblem_ = error.what();
        return FileState::unreadable;
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
    const auto aside = setDamagedFileAside(followOwnFileLink(file_));
    if (!aside) {
        lastProblem_ = "Nudgerly's settings file \u201C" + file_.string() +
                       "\u201D is damaged, so it was left as it is and settings will not be saved until it is "
                       "repaired or removed.";
        return FileState::keptDamaged;
    }
    lastProblem_ = "Nudgerly's settings file was damaged, so it was kept aside as \u201C" + aside->string() +
                   "\u201D and the settings, the items marked done among them, start again from their defaults.";
    return FileState::writable;
}

std::optional<std::string> FileSettingsStore::loadProblem() const {
    return loadProblem_;
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
        writeFileAtomically(followOwnFileLink(file_), bytes);
    } catch (const FileSystemError&) {
        // Settings writes report nothing, as the user defaults never did; the values stay in memory and
        // the next change tries again with all of them.
    }
}

}  // namespace nudgerly
