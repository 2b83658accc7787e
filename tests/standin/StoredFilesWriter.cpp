// Saves the program's stored files over and over with the program's own storage code, as refreshes,
// completion marks and token refreshes do, until it is killed; the kill tests end it at random moments.
// Each run begins at a file of its own choosing, so that kills soon after the start still reach them all.
// Usage: stored-files-writer ROOT           starts on ROOT (AppEnvironment::underRoot) and saves until
//                                          killed; "ROOT/writing" appears when the saves begin
//        stored-files-writer ROOT --start  only starts, and ends
#include <fstream>
#include <random>
#include <string>

#include "state/AppStateSettings.h"
#include "storage/AppEnvironment.h"
#include "storage/SnapshotStore.h"

int main(int argc, char** argv) {
    using namespace nudgerly;
    if (argc < 2) {
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const AppEnvironment environment = AppEnvironment::underRoot(root);
    if (argc > 2 && std::string(argv[2]) == "--start") {
        return 0;
    }
    std::ofstream(root / "writing") << "saving\n";
    for (unsigned step = std::random_device()() % 5;; ++step) {
        const std::string mark = "save " + std::to_string(step);
        ReviewSnapshot snapshot{.generatedAt = Date::fromUnix(1'773'100'000 + step)};
        for (int i = 0; i < 300; ++i) {  // a few hundred kilobytes, as a real queue
            snapshot.items.push_back({.id = "messages-chat-" + std::to_string(i),
                                      .person = "Person " + mark,
                                      .summary = std::string(400, 's'),
                                      .context = std::string(400, 'c')});
        }
        switch (step % 5) {
            case 0: SnapshotStore::save(snapshot, environment.dataDirectory / "messages-snapshot.json"); break;
            case 1: SnapshotStore::save(snapshot, environment.dataDirectory / "gmail-snapshot.json"); break;
            case 2:
                environment.settings->setStringArray(AppStateSettings::completedItems, {"completion-v1:" + mark});
                break;
            case 3: environment.settings->setData(AppStateSettings::messagesContactsHistoryToken, mark); break;
            default: environment.secrets.save(R"({"access_token": ")" + mark + "\"}", "gmail-oauth-tokens"); break;
        }
    }
}
