#include "storage/SnapshotStore.h"

#include "core/FileSystemError.h"
#include "core/Files.h"
#include "core/JsonWriter.h"
#include "storage/AppFiles.h"

namespace nudgerly::SnapshotStore {

std::string encode(const ReviewSnapshot& snapshot) {
    return JsonWriter::write(snapshot.toJson(coding), JsonWriter::Style::pretty);
}

ReviewSnapshot decode(std::string_view bytes) {
    return ReviewSnapshot::fromJson(parseJson(bytes), coding);
}

void save(const ReviewSnapshot& snapshot, const std::filesystem::path& file) {
    AppFiles::prepare(file.parent_path());
    writeFileAtomically(file, encode(snapshot));
}

std::optional<ReviewSnapshot> load(const std::filesystem::path& file, std::stop_token stop) {
    try {
        return decode(readOwnFile(file, maximumFileSize, stop));
    } catch (const FileSystemError&) {
        return std::nullopt;
    } catch (const JsonDecodingError&) {
        return std::nullopt;
    }
}

}  // namespace nudgerly::SnapshotStore
