// A 90-day scan of a Messages database of 1,000,000 messages in 10,000 chats, with a few hundred
// vCards, against the sqlite3 shell running the same SQL on the same file: the four window
// statements, the per-chat message statement for every listed chat and the attachment query for every
// link message among the rows read. Two shapes of history: the million within 120 days with a few dozen
// tombstones (nearly every message in the window), and the same million over eight years with 500
// tombstones, chats running for weeks or months. Targets: on both, the scan takes at most 0.5 times
// the shell; on the eight-year history, under 3 s. Also measures how long a stop takes to end a running
// scan. The machine's load is printed beside the figures, since the two sides share it.
//
// Each database is generated once (untimed) and kept in the build folder beside this program; it is
// made afresh when it is more than half a day old, since its dates count back from when it was made.
// Usage: messages_scan_bench [runs]   (default 3; the best run of each side is reported)
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include <sqlite3.h>
#include <unistd.h>

#include "chatdb/MessagesBulkGenerator.h"
#include "chatdb/VCardWriter.h"
#include "core/CancelledError.h"
#include "core/Files.h"
#include "core/MainQueue.h"
#include "platform/contacts/ContactsAccessDecision.h"
#include "platform/contacts/VCardContactsStore.h"
#include "queues/ManualMainQueue.h"
#include "review/LookbackWindow.h"
#include "sources/messages/MessagePayloads.h"
#include "sources/messages/MessagesQueries.h"
#include "sources/messages/MessagesReader.h"

namespace {

using namespace nudgerly;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int64_t totalMessages = 1'000'000;
constexpr int64_t totalChats = 10'000;
constexpr LookbackWindow window = LookbackWindow::ninety;

struct Shape {
    std::string name;
    std::string folder;  // beside the program
    std::string stamp;   // what the kept database was generated with
    int spreadDays = 0;
    double chatSpanScale = 1;
    std::optional<int64_t> tombstones;
    std::optional<double> longestScan;  // seconds
};

const Shape shapes[] = {
    {.name = "1,000,000 messages in 120 days, a few dozen tombstones", .folder = "messages-scan-data",
     .stamp = "seed 1, 1000000 messages, 10000 chats, 120 days, v2", .spreadDays = 120},
    {.name = "1,000,000 messages over eight years, 500 tombstones", .folder = "messages-scan-data-eight-years",
     .stamp = "seed 1, 1000000 messages, 10000 chats, 2922 days, chats x24 as long, 500 tombstones, v2",
     .spreadDays = 2922, .chatSpanScale = 24, .tombstones = 500, .longestScan = 3.0},
};

struct Layout {
    fs::path root;
    fs::path home() const { return root / "home"; }
    fs::path database() const { return home() / "Library" / "Messages" / "chat.db"; }
    fs::path contacts() const { return root / "contacts"; }
    fs::path configuration() const { return root / "config"; }
    fs::path stampFile() const { return root / "stamp"; }
    fs::path script() const { return root / "shell.sql"; }
};

bool fresh(const Layout& layout, const Shape& shape) {
    if (!fs::exists(layout.stampFile()) || !fs::exists(layout.database())) {
        return false;
    }
    const auto age = fs::file_time_type::clock::now() - fs::last_write_time(layout.stampFile());
    return readFile(layout.stampFile()) == shape.stamp && age < std::chrono::hours(12);
}

void generate(const Layout& layout, const Shape& shape) {
    fs::remove_all(layout.root);
    fs::create_directories(layout.database().parent_path());
    std::cout << "Generating " << layout.database() << " (once, untimed)..." << std::flush;
    const auto started = Clock::now();
    test::MessagesDatabaseBuilder builder(layout.database());
    const test::BulkContents contents = test::generateBulk(
        builder, {.seed = 1, .chats = totalChats, .messages = totalMessages, .days = shape.spreadDays,
                  .chatSpanScale = shape.chatSpanScale, .tombstones = shape.tombstones, .cardShare = 0.03,
                  .previewFiles = test::BulkOptions::PreviewFiles::headers, .home = layout.home()});
    builder.close();
    test::writeVCards(layout.contacts(), contents.contacts);
    fs::create_directories(layout.configuration());
    writeFileAtomically(layout.configuration() / ContactsAccessDecision::fileName,
                        ContactsAccessDecision{.status = ContactsAuthorizationStatus::authorized}.encoded());
    writeFileAtomically(layout.stampFile(), shape.stamp);
    std::cout << " " << std::chrono::duration<double>(Clock::now() - started).count() << " s, "
              << contents.contacts.size() << " vCards, " << contents.linkPreviews << " link messages.\n";
}

int64_t count(sqlite3* database, const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr);
    const int64_t result = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    return result;
}

// The SQL the reader runs, written out for the shell with each statement's parameter filled in.
struct ShellScript {
    int64_t listedChats = 0;
    int64_t linkMessages = 0;
    int64_t messagesInWindow = 0;
    int64_t tombstones = 0;
};

std::string withParameter(std::string sql, int64_t value) {
    return sql.replace(sql.find('?'), 1, std::to_string(value));
}

ShellScript writeShellScript(const Layout& layout) {
    sqlite3* database = nullptr;
    sqlite3_open_v2(layout.database().c_str(), &database, SQLITE_OPEN_READONLY, nullptr);
    std::ofstream script(layout.script());
    script << ".output /dev/null\n";
    for (const std::string& sql : {MessagesQueries::messageCount(window), MessagesQueries::activeConversations(window),
                                   MessagesQueries::inboundEndingCount(window), MessagesQueries::chatList(window)}) {
        script << sql << ";\n";
    }
    ShellScript counts{
        .messagesInWindow = count(database, "SELECT count(*) FROM message m WHERE m.date >= (strftime('%s','now','" +
                                                MessagesQueries::windowModifier(window) + "')-978307200)*1000000000"),
        .tombstones = count(database, "SELECT count(*) FROM deleted_messages"),
    };
    sqlite3_stmt* chats = nullptr;
    sqlite3_stmt* messages = nullptr;
    sqlite3_prepare_v2(database, MessagesQueries::chatList(window).c_str(), -1, &chats, nullptr);
    sqlite3_prepare_v2(database, MessagesQueries::chatMessages(window).c_str(), -1, &messages, nullptr);
    const std::string perChat = MessagesQueries::chatMessages(window);
    const std::string perLink(MessagePayloads::previewAttachmentQuery);
    while (sqlite3_step(chats) == SQLITE_ROW) {
        const int64_t chat = sqlite3_column_int64(chats, 0);
        ++counts.listedChats;
        script << withParameter(perChat, chat) << ";\n";
        sqlite3_reset(messages);
        sqlite3_bind_int64(messages, 1, chat);
        while (sqlite3_step(messages) == SQLITE_ROW) {
            const auto* balloon = reinterpret_cast<const char*>(sqlite3_column_text(messages, 6));
            if (balloon != nullptr && std::string_view(balloon) == MessagePayloads::urlBalloonProvider) {
                ++counts.linkMessages;
                script << withParameter(perLink, sqlite3_column_int64(messages, 4)) << ";\n";
            }
        }
    }
    sqlite3_finalize(messages);
    sqlite3_finalize(chats);
    sqlite3_close(database);
    return counts;
}

double seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

double timeShell(const Layout& layout) {
    const std::string command = "sqlite3 -batch -readonly '" + layout.database().string() + "' < '" +
                                layout.script().string() + "'";
    const auto started = Clock::now();
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("the sqlite3 shell failed (is the sqlite3 package installed?)");
    }
    return seconds(Clock::now() - started);
}

std::string load() {
    std::string average = readFile("/proc/loadavg");
    average = average.substr(0, average.find(' ', average.find(' ', average.find(' ') + 1) + 1));
    return average + " (1, 5, 15 min) on " + std::to_string(std::thread::hardware_concurrency()) + " threads";
}

void measure(const Shape& shape, int runs, const fs::path& beside) {
    const Layout layout{beside / shape.folder};
    if (!fresh(layout, shape)) {
        generate(layout, shape);
    }
    // Preview pictures are named from "~", as Messages names them.
    ::setenv("HOME", layout.home().c_str(), 1);
    ManualMainQueue mainQueue;
    auto contacts = std::make_shared<VCardContactsStore>(layout.contacts(), layout.configuration(), mainQueue);
    const MessagesReader reader(contacts, "Alex", layout.database());
    const ShellScript script = writeShellScript(layout);

    const std::string loadBefore = load();
    // One untimed pass of each, so that both find the file in the page cache.
    reader.scan(window, {});
    timeShell(layout);
    double bestScan = 1e9;
    double bestShell = 1e9;
    std::size_t conversations = 0;
    for (int run = 0; run < runs; ++run) {
        const auto started = Clock::now();
        conversations = reader.scan(window, {}).conversations.size();
        bestScan = std::min(bestScan, seconds(Clock::now() - started));
        bestShell = std::min(bestShell, timeShell(layout));
    }

    // A stop requested part-way through a scan.
    std::stop_source stop;
    auto scanning = std::async(std::launch::async, [&] { return reader.scan(window, stop.get_token()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const auto stopped = Clock::now();
    stop.request_stop();
    std::string outcome = "finished before the stop";
    try {
        scanning.get();
    } catch (const CancelledError&) {
        outcome = "cancelled";
    }
    const double stopLatency = seconds(Clock::now() - stopped);

    const double ratio = bestScan / bestShell;
    const bool met = ratio <= 0.5 && (!shape.longestScan || bestScan < *shape.longestScan);
    std::cout << "90-day scan of " << shape.name << ": " << script.messagesInWindow << " messages in the window, "
              << script.tombstones << " tombstones, " << script.listedChats << " chats listed, "
              << script.linkMessages << " link messages, " << conversations << " conversations\n"
              << "  MessagesReader::scan  " << bestScan << " s (best of " << runs << ")"
              << (shape.longestScan ? " (target under " + std::to_string(*shape.longestScan).substr(0, 3) + " s)" : "")
              << "\n"
              << "  sqlite3 shell         " << bestShell << " s (best of " << runs << ")\n"
              << "  ratio                 " << ratio << " (target at most 0.5)\n"
              << "  stop after 0.4 s      " << outcome << " " << stopLatency * 1000 << " ms later\n"
              << "  load                  " << loadBefore << " before, " << load() << " after\n"
              << "  targets               " << (met ? "met" : "MISSED") << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    try {
        const fs::path beside = fs::canonical("/proc/self/exe").parent_path();
        for (const Shape& shape : shapes) {
            measure(shape, runs, beside);
        }
    } catch (const std::exception& error) {
        std::cerr << "The benchmark failed: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
