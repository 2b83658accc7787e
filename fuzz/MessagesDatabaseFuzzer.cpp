// A chat.db is copied from another machine and may be damaged or of an unknown version: whatever the
// file holds, a scan and a pruning must end with a result or with MessagesReaderError, never crash,
// hang or throw anything else, and must leave the file as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "core/Files.h"
#include "core/Text.h"
#include "sources/messages/MessageIdentity.h"
#include "sources/messages/MessagesReader.h"
#include "sources/messages/MessagesReaderError.h"

using namespace nudgerly;
namespace fs = std::filesystem;

namespace {

// One folder per fuzzing process, made afresh for each input and removed after it. HOME points there,
// so preview pictures named from "~" are looked for inside it and never among the user's files.
const fs::path& folder() {
    static const fs::path path = [] {
        fs::path named = fs::temp_directory_path() / ("nudgerly-messages-fuzz-" + std::to_string(::getpid()));
        ::setenv("HOME", named.c_str(), 1);
        return named;
    }();
    return path;
}

ReviewSnapshot savedQueue() {
    ReviewSnapshot snapshot;
    for (const MessageIdentity identity : {MessageIdentity{1, 1}, MessageIdentity{1, 2}, MessageIdentity{2, 5}}) {
        snapshot.items.push_back(ReviewItem{.id = identity.conversationID()});
    }
    snapshot.items.push_back(ReviewItem{.id = "gmail-thread-abc"});
    return snapshot;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const fs::path database = folder() / "chat.db";
    fs::create_directories(folder());
    {
        std::ofstream file(database, std::ios::binary | std::ios::trunc);
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    const MessagesReader reader(nullptr, "Alex", database);
    for (const LookbackWindow lookback : {LookbackWindow::seven, LookbackWindow::ninety}) {
        try {
            const ConversationBatch batch = reader.scan(lookback, {});
            for (const Conversation& conversation : batch.conversations) {
                if (conversation.messages.empty() || conversation.messages.back().fromMe ||
                    !MessageIdentity::parse(conversation.id) || !text::isValidUtf8(conversation.person)) {
                    __builtin_trap();
                }
            }
        } catch (const MessagesReaderError&) {
        }
    }
    try {
        const std::optional<ReviewSnapshot> pruned = reader.removingDeletedMessages(savedQueue(), {});
        if (pruned && (pruned->items.empty() || pruned->items.back().id != "gmail-thread-abc")) {
            __builtin_trap();  // an identifier of another form is never dropped
        }
    } catch (const MessagesReaderError&) {
    }

    if (readFile(database) != bytes) {
        __builtin_trap();
    }
    fs::remove_all(folder());  // with any -wal or -shm file a WAL-mode header made SQLite look for
    return 0;
}
