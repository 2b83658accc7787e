// The window at 1,000, 5,000, 10,000 and 20,000 saved items, against a plain Qt anchor (queue_anchor:
// a QListView with uniform item sizes over a QSortFilterProxyModel, one text per item) reading the same
// saved queues. Both are started as processes, offscreen, with the window probe preloaded
// (WindowProbe.cpp): it notes the first paint of a list with rows, then types "invoice" one key at a
// time and clears it, timing each key to the list's repaint and an idle event loop. The sides
// alternate within each round.
//
// The homes are made first, untimed, with the real parts: a Messages database of made-up chats (up to
// 12,000) and an address book of 1,500 cards, read by the Messages reader, more made-up chats and mail threads,
// all classified in Basic Mode and saved as the two snapshot files; half the items come from each
// source, every one within the 90-day lookback.
//
// Reported per size, as medians over the rounds: launch to the first painted list (from just before
// the process is spawned; the files are in the page cache after the first round), the first key, the
// slowest of the next keys, the clearing, and the peak resident size (VmHWM) as the probe ends it.
// Not included: a display server and compositor (offscreen), the cold disk, the model server.
// Usage: window_scale_bench [rounds] [sizes...]   (defaults: 5 rounds; 1000 5000 10000 20000 items in all)
// With WINDOW_SCALE_KEEP_HOMES set, the homes are kept and named, to run the program on them by hand.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchConversations.h"
#include "chatdb/MessagesBulkGenerator.h"
#include "chatdb/VCardWriter.h"
#include "classifier/ConversationClassifier.h"
#include "core/Files.h"
#include "core/MainQueue.h"
#include "modelpacks/ModelCatalog.h"
#include "modelpacks/ModelSelectionStore.h"
#include "platform/contacts/ContactsAccessDecision.h"
#include "platform/contacts/VCardContactsStore.h"
#include "queues/ManualMainQueue.h"
#include "sources/messages/MessagesReader.h"
#include "state/AppStateSettings.h"
#include "storage/AppEnvironment.h"
#include "storage/SnapshotStore.h"

extern char** environ;

namespace {

using namespace nudgerly;
namespace fs = std::filesystem;

struct Home {
    fs::path root;
    fs::path home() const { return root / "home"; }
    fs::path dataHome() const { return home() / ".local" / "share"; }
    fs::path configHome() const { return home() / ".config"; }
    fs::path database() const { return home() / "Library" / "Messages" / "chat.db"; }
};

AppEnvironment environmentOf(const Home& home) {
    return AppEnvironment::withHomes(AppInfo(AppInfo::compiledDefaults()), home.dataHome(), home.configHome());
}

// Made-up conversations of a source: people, subjects and messages drawn from the benchmarks' sentences.
std::vector<Conversation> conversations(ReviewSource source, int count, Date now, std::mt19937& random) {
    static const std::vector<std::string> first{"Dana",  "Sam",   "Ana",  "Coach", "Priya", "Jonas", "Mei",   "Olu",
                                                "Greta", "Tomás", "Ines", "Kwame", "Lena",  "Ravi",  "Sofia", "Yuki"};
    static const std::vector<std::string> last{"Whitfield", "Ruiz",   "Lee",    "Okafor",   "Novak", "Schmidt",
                                               "Tanaka",    "Moreau", "Haddad", "Kowalski", "Silva", "Berg"};
    static const std::vector<std::string> teams{"Billing Team", "Support",       "Travel Desk", "HR",
                                                "Facilities",   "School Office", "Landlord",    "Clinic"};
    const bool mail = source == ReviewSource::gmail;
    std::vector<Conversation> made;
    for (int i = 0; i < count; ++i) {
        const bool team = mail && random() % 4 == 0;
        const std::string number =
            "+1" + std::to_string(200 + random() % 780) + "555" + std::to_string(1000 + random() % 9000);
        Conversation conversation{
            .id = std::string(mail ? "thread-" : "bench-chat-") + std::to_string(i) + "-" + std::to_string(random()),
            .source = source,
            .person = team ? teams[random() % teams.size()]
                           : first[random() % first.size()] + " " + last[random() % last.size()],
            .openURL = mail ? "https://mail.google.com/mail/u/0/#inbox/" + std::to_string(random()) : "sms:" + number,
        };
        if (mail) {
            conversation.subject = std::string(bench::subjects[random() % bench::subjects.size()]);
        } else {
            conversation.target = number;
            conversation.isKnownContact = random() % 5 < 3;
        }
        const int messages = 1 + static_cast<int>(random() % 6);
        Date date = now.addingSeconds(-static_cast<double>(random() % (80 * 86'400)) - 86'400);
        for (int m = 0; m < messages; ++m) {
            date = date.addingSeconds(60 + random() % 20'000);
            conversation.messages.push_back({.fromMe = m + 1 < messages && random() % 2 == 0,
                                             .text = bench::messageText(random, mail ? 8 : 3),
                                             .date = std::min(date, now)});
        }
        made.push_back(std::move(conversation));
    }
    return made;
}

ReviewSnapshot classified(ConversationBatch batch, const fs::path& dataDirectory, std::size_t keep) {
    ManualMainQueue queue;
    ConversationClassifier classifier(ModelPack::nudgerlyDefault(), dataDirectory, queue);  // no model: Basic Mode
    ReviewSnapshot snapshot = classifier.makeSnapshotWithReport(batch, std::nullopt, {}, {}).snapshot;
    classifier.requestShutdown().wait();
    if (snapshot.items.size() > keep) {
        snapshot.items.resize(keep);
    }
    return snapshot;
}

// A home whose two saved queues hold `items` items in all, half from each source.
Home makeHome(int items) {
    char folder[] = "/tmp/nudgerly-window-scale-XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    const Home home{folder};
    const AppEnvironment environment = environmentOf(home);
    const std::size_t perSource = static_cast<std::size_t>(items) / 2;
    const Date now = Date::now();
    ManualMainQueue queue;

    // Messages: a database of made-up chats read by the real reader (about one in six asks something of
    // the user), and more made-up chats beside them, as the generator's numbers run out long before
    // 20,000 items. The start-up prunes the chats of the database against it and keeps the others.
    fs::create_directories(home.database().parent_path());
    std::mt19937 random(11);
    ReviewSnapshot messages;
    {
        test::MessagesDatabaseBuilder builder(home.database(), test::MessagesDatabaseBuilder::Journal::rollback, now);
        const int64_t chats = std::min<int64_t>(static_cast<int64_t>(perSource) * 8, 12'000);
        const test::BulkContents contents = test::generateBulk(
            builder, {.seed = 7, .chats = chats, .messages = chats * 7, .days = 80, .cardShare = 0.6});
        builder.close();
        // An address book of the same size in every home, as people keep one.
        const std::size_t cards = std::min<std::size_t>(contents.contacts.size(), 1500);
        test::writeVCards(VCardContactsStore::contactsFolderIn(home.dataHome()),
                          {contents.contacts.begin(), contents.contacts.begin() + static_cast<std::ptrdiff_t>(cards)});
        createPrivateDirectories(environment.configurationDirectory);
        writeFileAtomically(environment.configurationDirectory / ContactsAccessDecision::fileName,
                            ContactsAccessDecision{.status = ContactsAuthorizationStatus::authorized}.encoded());
        auto contacts = std::make_shared<VCardContactsStore>(VCardContactsStore::contactsFolderIn(home.dataHome()),
                                                             environment.configurationDirectory, queue);
        const MessagesReader reader(contacts, "Alex", home.database());
        ConversationBatch batch = reader.scan(LookbackWindow::ninety, {});
        for (Conversation& more : conversations(ReviewSource::messages, static_cast<int>(perSource) * 2, now, random)) {
            batch.conversations.push_back(std::move(more));
        }
        messages = classified(std::move(batch), environment.dataDirectory, perSource);
        if (const auto token = contacts->currentHistoryToken()) {
            environment.settings->setData(AppStateSettings::messagesContactsHistoryToken, *token);
        }
    }

    ConversationBatch mail{.generatedAt = now, .lookbackDays = 90};
    mail.conversations = conversations(ReviewSource::gmail, static_cast<int>(perSource) * 5 / 2 + 100, now, random);
    const ReviewSnapshot gmail = classified(std::move(mail), environment.dataDirectory, perSource);
    if (messages.items.size() != perSource || gmail.items.size() != perSource) {
        std::fprintf(stderr, "The home holds %zu Messages and %zu Gmail items, not %zu of each.\n",
                     messages.items.size(), gmail.items.size(), perSource);
        std::exit(1);
    }
    SnapshotStore::save(messages, environment.dataDirectory / "messages-snapshot.json");
    SnapshotStore::save(gmail, environment.dataDirectory / "gmail-snapshot.json");

    // A returning user in Basic Mode who looks 90 days back.
    SettingsStore& settings = *environment.settings;
    const ModelPack pack = ModelSelectionStore::selectedPack(ModelCatalog::nudgerly(), settings);
    ModelSelectionStore::persist(pack, settings);
    settings.setString(AppStateSettings::modelChoiceVersion, AppStateSettings::currentModelChoiceVersion);
    for (const std::string_view key : {AppStateSettings::lookbackDaysCombined, AppStateSettings::lookbackDaysMessages,
                                       AppStateSettings::lookbackDaysGmail}) {
        settings.setInteger(key, 90);
    }
    return home;
}

int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

struct Key {
    std::string text;
    double ms = 0;
    int rows = 0;
    bool painted = false;
};

struct Run {
    double startMs = 0;
    int rows = 0;
    std::vector<Key> keys;
    double peakMiB = 0;
};

std::vector<std::string> childEnvironment(const Home& home, const fs::path& report) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        if (name.rfind("XDG_", 0) != 0 && name.rfind("NUDGERLY_", 0) != 0 && name.rfind("QT_", 0) != 0 &&
            name != "HOME" && name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "LD_PRELOAD" &&
            name != "DBUS_SESSION_BUS_ADDRESS") {
            variables.push_back(variable);
        }
    }
    const std::vector<std::pair<std::string, std::string>> set{
        {"HOME", home.home()},
        {"XDG_DATA_HOME", home.dataHome()},
        {"XDG_CONFIG_HOME", home.configHome()},
        {"XDG_CACHE_HOME", home.home() / ".cache"},
        {"XDG_STATE_HOME", home.home() / ".local" / "state"},
        {"XDG_RUNTIME_DIR", home.root / "runtime"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (home.root / "no-session-bus").string()},
        {"NUDGERLY_MESSAGES_DATABASE", home.database()},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"LD_PRELOAD", WINDOW_PROBE},
        {"NUDGERLY_WINDOW_PROBE_REPORT", report},
    };
    for (const auto& [name, value] : set) {
        variables.push_back(name + "=" + value);
    }
    return variables;
}

Run runOnce(const Home& home, const std::vector<std::string>& command, const std::string& label) {
    const fs::path report = home.root / ("report-" + label);
    fs::remove(report);
    fs::create_directories(home.root / "runtime");
    fs::permissions(home.root / "runtime", fs::perms::owner_all);
    std::vector<std::string> variables = childEnvironment(home, report);
    std::vector<char*> argv;
    for (const std::string& argument : command) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (home.root / ("stderr-" + label)).c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int64_t launched = monotonicNs();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            std::fprintf(stderr, "%s did not finish within 3 minutes\n", label.c_str());
            std::exit(1);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    Run run;
    std::ifstream in(report);
    std::string line;
    bool listed = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        std::getline(fields, kind, '\t');
        if (kind == "firstList") {
            std::string at;
            std::string rows;
            std::getline(fields, at, '\t');
            std::getline(fields, rows, '\t');
            run.startMs = static_cast<double>(std::stoll(at) - launched) / 1e6;
            run.rows = std::stoi(rows);
            listed = true;
        } else if (kind == "key") {
            Key key;
            std::string ms;
            std::string rows;
            std::string painted;
            std::getline(fields, key.text, '\t');
            std::getline(fields, ms, '\t');
            std::getline(fields, rows, '\t');
            std::getline(fields, painted, '\t');
            key.ms = std::stod(ms);
            key.rows = std::stoi(rows);
            key.painted = painted == "1";
            run.keys.push_back(key);
        } else if (kind == "peakKiB") {
            std::string kib;
            std::getline(fields, kib, '\t');
            run.peakMiB = std::stod(kib) / 1024.0;
        }
    }
    if (!listed || run.keys.empty() || !WIFEXITED(status)) {
        std::fprintf(stderr, "%s showed no list or typed nothing (status %d); see %s\n", label.c_str(), status,
                     (home.root / ("stderr-" + label)).c_str());
        std::exit(1);
    }
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Summary {
    double startMs = 0;
    double firstKeyMs = 0;
    double nextKeysMs = 0;  // the slowest of the keys after the first, median over rounds
    double clearMs = 0;
    double peakMiB = 0;
    int rows = 0;
    std::string keyRows;
};

Summary summarize(const std::vector<Run>& runs) {
    std::vector<double> starts;
    std::vector<double> first;
    std::vector<double> next;
    std::vector<double> clear;
    std::vector<double> peaks;
    for (const Run& run : runs) {
        starts.push_back(run.startMs);
        first.push_back(run.keys.front().ms);
        double slowest = 0;
        for (std::size_t i = 1; i + 1 < run.keys.size(); ++i) {
            slowest = std::max(slowest, run.keys[i].ms);
        }
        next.push_back(slowest);
        clear.push_back(run.keys.back().ms);
        peaks.push_back(run.peakMiB);
    }
    Summary summary{median(starts), median(first), median(next), median(clear), median(peaks), runs.front().rows, {}};
    for (const Key& key : runs.front().keys) {
        summary.keyRows += (summary.keyRows.empty() ? "" : " ") + std::to_string(key.rows);
    }
    return summary;
}

void report(int items, const Summary& program, const Summary& anchor) {
    const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
    std::printf("%d items (%d per source)\n", items, items / 2);
    std::printf("  %-28s %10s %10s %8s\n", "", "nudgerly", "anchor", "ratio");
    const auto line = [&](const char* what, double ours, double theirs, const char* unit) {
        std::printf("  %-28s %8.1f%-2s %8.1f%-2s %7.2fx\n", what, ours, unit, theirs, unit, ratio(ours, theirs));
    };
    line("launch to first painted list", program.startMs, anchor.startMs, "ms");
    line("first key", program.firstKeyMs, anchor.firstKeyMs, "ms");
    line("slowest next key", program.nextKeysMs, anchor.nextKeysMs, "ms");
    line("clearing", program.clearMs, anchor.clearMs, "ms");
    line("peak resident size", program.peakMiB, anchor.peakMiB, "MB");
    std::printf("  rows at first paint %d / %d; rows after each key %s / %s\n", program.rows, anchor.rows,
                program.keyRows.c_str(), anchor.keyRows.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) {
        sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) {
        sizes = {1000, 5000, 10000, 20000};
    }
    std::printf("window_scale_bench: %d rounds, offscreen, %u hardware threads, load average at start %s\n", rounds,
                std::thread::hardware_concurrency(), [] {
                    static char text[64] = "?";
                    if (std::FILE* file = std::fopen("/proc/loadavg", "r")) {
                        if (!std::fgets(text, sizeof text, file)) {
                            text[0] = 0;
                        }
                        std::fclose(file);
                        text[std::strcspn(text, "\n")] = 0;
                    }
                    return text;
                }());
    for (const int items : sizes) {
        const Home home = makeHome(items);
        const std::string data = environmentOf(home).dataDirectory.string();
        std::vector<Run> programRuns;
        std::vector<Run> anchorRuns;
        for (int round = 0; round < rounds; ++round) {
            const auto runProgram = [&] { programRuns.push_back(runOnce(home, {NUDGERLY_PROGRAM}, "nudgerly")); };
            const auto runAnchor = [&] { anchorRuns.push_back(runOnce(home, {QUEUE_ANCHOR, data}, "anchor")); };
            if (round % 2 == 0) {
                runProgram();
                runAnchor();
            } else {
                runAnchor();
                runProgram();
            }
        }
        report(items, summarize(programRuns), summarize(anchorRuns));
        std::fflush(stdout);
        if (std::getenv("WINDOW_SCALE_KEEP_HOMES")) {
            std::printf("  home kept in %s\n", home.root.c_str());
        } else {
            fs::remove_all(home.root);
        }
    }
    return 0;
}
