#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "core/UniqueFd.h"

namespace nudgerly {

// Watches folders and files with inotify and reports each burst of changes once, on a thread of its
// own. A watched path that does not exist (yet, or any more) is watched for from its nearest existing
// parent, and the watches are laid anew after every burst, so a folder that is deleted, moved away,
// replaced or created later is followed. Destroying the watcher stops and joins its thread promptly.
class FileTreeWatcher {
public:
    struct Target {
        std::filesystem::path path;
        bool wholeTree = false;  // a folder with everything below it, rather than one file
    };

    struct Timing {
        // A burst ends when no change came for this long.
        std::chrono::milliseconds quietPeriod{200};
        // A burst that goes on reports at least this often.
        std::chrono::milliseconds longestDelay{2000};
        // Called on the watcher's thread once a burst was handled and no change is left to read: what
        // the changes so far led to is done. Lets a caller learn that without waiting out a period.
        std::function<void()> onQuiet;
    };

    // Runs on the watcher's thread after a burst, once the watches are laid anew; `stop` is requested
    // when the watcher is being destroyed.
    using Handler = std::function<void(std::stop_token stop)>;

    // Lays the watches before it returns, so that every later change is seen. Throws
    // std::system_error when inotify is not available.
    FileTreeWatcher(std::vector<Target> targets, Handler onBurst, Timing timing);
    FileTreeWatcher(std::vector<Target> targets, Handler onBurst)
        : FileTreeWatcher(std::move(targets), std::move(onBurst), Timing{}) {}
    ~FileTreeWatcher();
    FileTreeWatcher(const FileTreeWatcher&) = delete;
    FileTreeWatcher& operator=(const FileTreeWatcher&) = delete;

private:
    struct Watch {
        std::filesystem::path folder;
        bool everything = false;      // every entry counts
        std::set<std::string> names;  // otherwise only entries with these names
    };

    void arm();
    void disarm();
    void watchFolder(const std::filesystem::path& folder, const std::string* onlyName);
    void watchTree(const std::filesystem::path& folder, int depth);
    void watchFromNearestParent(const std::filesystem::path& path);
    // Reads the pending events; true when one of them concerns a watched path.
    bool readEvents();
    void run(std::stop_token stop);

    const std::vector<Target> targets_;
    const Handler onBurst_;
    const Timing timing_;
    UniqueFd inotify_;
    UniqueFd wake_;                 // an eventfd written to stop the thread
    std::map<int, Watch> watches_;  // by watch descriptor; touched by the constructor, then the thread
    std::jthread thread_;
};

}  // namespace nudgerly
