#include "state/SnapshotFiles.h"

#include <string>
#include <system_error>

#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/JsonWriter.h"
#include "storage/SnapshotStore.h"

namespace nudgerly {

std::filesystem::path SnapshotFiles::file(ReviewSource source) const {
    return dataDirectory_ / (source == ReviewSource::messages ? "messages-snapshot.json" : "gmail-snapshot.json");
}

void SnapshotFiles::write(const ReviewSnapshot& snapshot, ReviewSource source) const {
    const std::filesystem::path path = file(source);
    const std::string context = "Couldn't save \u201C" + path.filename().string() + "\u201D";
    try {
        SnapshotStore::save(snapshot, path);
    } catch (const UserFacingError&) {
        throw;
    } catch (const JsonEncodingError&) {
        throw UserFacingError(context + ": the queue holds a date or number that cannot be written.");
    } catch (const std::system_error& error) {
        throw FileSystemError(context, error.code().value());
    }
}

void SnapshotFiles::remove(ReviewSource source) const {
    try {
        requireOwnFolder(dataDirectory_);  // nothing goes from another user's folder
        std::error_code ignored;           // a file that is already gone is what was wanted
        std::filesystem::remove(file(source), ignored);
    } catch (const FileSystemError&) {
    }
}

}  // namespace nudgerly
