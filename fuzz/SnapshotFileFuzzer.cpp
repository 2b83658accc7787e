// The snapshot file as read at start: any bytes either decode or throw JsonDecodingError, exactly when
// decoding the whole tree at once does, to the same snapshot, whether its long arrays are cut apart and
// decoded side by side or the text goes to the parser whole; and a snapshot that decodes writes back to
// bytes that read back to the same snapshot.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/JsonCoding.h"
#include "core/JsonWriter.h"
#include "storage/SnapshotStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace nudgerly;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::optional<ReviewSnapshot> tree;
    try {
        tree = ReviewSnapshot::fromJson(parseJson(bytes), SnapshotStore::coding);
    } catch (const JsonDecodingError&) {
    }
    ReviewSnapshot snapshot;
    try {
        snapshot = SnapshotStore::decode(bytes);
    } catch (const JsonDecodingError&) {
        if (tree) {
            std::abort();
        }
        return 0;
    }
    if (!tree) {
        std::abort();
    }
    std::string written;
    try {
        written = SnapshotStore::encode(snapshot);
    } catch (const JsonEncodingError&) {
        return 0;  // a value that reads but cannot be written is refused at save, not lost silently
    }
    if (SnapshotStore::encode(*tree) != written) {
        std::abort();
    }
    const std::string rewritten = SnapshotStore::encode(SnapshotStore::decode(written));
    if (rewritten != written) {
        std::abort();
    }
    return 0;
}
