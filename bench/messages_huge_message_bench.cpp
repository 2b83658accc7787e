// A Messages scan of 300 chats of which two end with a message of 64 MiB of words, one in the text
// column and one only in its archived body, against the same scan without those two messages, in the
// same run: the time of each and the program's peak memory while it ran. The huge messages should cost
// about as much as long ones.
// Usage: messages_huge_message_bench
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "chatdb/MessagesDatabaseBuilder.h"
#include "chatdb/TypedStreamWriter.h"
#include "core/Files.h"
#include "files/TempDir.h"
#include "process/PeakResident.h"
#include "sources/messages/MessagesReader.h"

namespace {

using namespace nudgerly;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t hugeBytes = 64u << 20;

void writeDatabase(const fs::path& path, bool withHugeMessages) {
    test::MessagesDatabaseBuilder db(path);
    db.beginBatch();
    for (int chat = 0; chat < 300; ++chat) {
        const std::string handle = "+1415555" + std::to_string(1000 + chat);
        const int64_t row = db.oneToOneChat(handle);
        for (int i = 10; i >= 1; --i) {
            db.received(row, handle, "Message " + std::to_string(i) + " of chat " + std::to_string(chat),
                        std::chrono::minutes(chat * 20 + i * 2));
        }
    }
    if (withHugeMessages) {
        std::string story;
        story.reserve(hugeBytes + 100);
        while (story.size() < hugeBytes) {
            story += "So here is the whole story about the move, the boxes, the landlord and the van. ";
        }
        const int64_t inColumn = db.oneToOneChat("+14155559001");
        db.received(inColumn, "+14155559001", story, 1min);
        const int64_t inBody = db.oneToOneChat("+14155559002");
        db.message(
            inBody,
            {.attributedBody = test::archivedAttributedString({.text = story}), .handle = "+14155559002", .ago = 2min});
    }
    db.commitBatch();
    db.close();
}

// The most memory the program has held since the last reset, in MiB.
double peakMemory() {
    return static_cast<double>(test::peakResidentKiB()) / 1024;
}

struct Measured {
    double seconds = 0;
    double peakMiB = 0;
    std::size_t conversations = 0;
    std::size_t longestText = 0;
};

Measured scan(const fs::path& database) {
    const MessagesReader reader(nullptr, "Alex", database);
    test::resetPeakResident();
    const auto started = Clock::now();
    const ConversationBatch batch = reader.scan(LookbackWindow::thirty, {});
    Measured measured{.seconds = std::chrono::duration<double>(Clock::now() - started).count(),
                      .peakMiB = peakMemory(),
                      .conversations = batch.conversations.size()};
    for (const Conversation& conversation : batch.conversations) {
        for (const ConversationMessage& message : conversation.messages) {
            measured.longestText = std::max(measured.longestText, message.text.size());
        }
    }
    return measured;
}

}  // namespace

int main() {
    try {
        test::TempDir folder;
        writeDatabase(folder / "huge.db", true);
        writeDatabase(folder / "plain.db", false);
        std::cout << "Files: " << fs::file_size(folder / "huge.db") / (1 << 20) << " MiB with the two huge messages, "
                  << fs::file_size(folder / "plain.db") / (1 << 20) << " MiB without\n";
        scan(folder / "plain.db");  // warms the page cache and ICU
        const Measured plain = scan(folder / "plain.db");
        const Measured huge = scan(folder / "huge.db");
        std::cout << "  with two 64 MiB messages  " << huge.seconds << " s, peak " << huge.peakMiB << " MiB, "
                  << huge.conversations << " conversations, longest text " << huge.longestText << " bytes\n"
                  << "  without them              " << plain.seconds << " s, peak " << plain.peakMiB << " MiB, "
                  << plain.conversations << " conversations\n"
                  << "  ratio                     " << huge.seconds / plain.seconds << "\n";
    } catch (const std::exception& error) {
        std::cerr << "The benchmark failed: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
