#include "platform/system/FileTreeWatcher.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace nudgerly {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t watchedEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_FROM | IN_MOVED_TO |
                                   IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF;
// Deep enough for any real address-book layout; a loop of bind mounts cannot run away with it.
constexpr int deepestTree = 32;

fs::path normalised(const fs::path& path) {
    fs::path result = path.lexically_normal();
    if (!result.has_filename() && result.has_parent_path() && result != result.root_path()) {
        result = result.parent_path();  // "a/b/" names the folder "a/b"
    }
    return result;
}

std::vector<FileTreeWatcher::Target> normalisedTargets(std::vector<FileTreeWatcher::Target> targets) {
    for (auto& target : targets) {
        target.path = normalised(target.path);
    }
    return targets;
}

}  // namespace

FileTreeWatcher::FileTreeWatcher(std::vector<Target> targets, Handler onBurst, Timing timing)
    : targets_(normalisedTargets(std::move(targets))), onBurst_(std::move(onBurst)), timing_(timing) {
    inotify_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!inotify_) {
        throw std::system_error(errno, std::generic_category(), "inotify_init1");
    }
    wake_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake_) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    arm();
    thread_ = std::jthread([this](std::stop_token stop) { run(stop); });
}

FileTreeWatcher::~FileTreeWatcher() {
    thread_.request_stop();
    const uint64_t one = 1;
    while (::write(wake_.get(), &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
}

void FileTreeWatcher::arm() {
    for (const auto& target : targets_) {
        watchFromNearestParent(target.path);
        std::error_code error;
        if (target.wholeTree && fs::is_directory(target.path, error)) {
            watchTree(target.path, 0);
        }
    }
}

void FileTreeWatcher::disarm() {
    for (const auto& [descriptor, watch] : watches_) {
        ::inotify_rm_watch(inotify_.get(), descriptor);
    }
    watches_.clear();
}

void FileTreeWatcher::watchFolder(const fs::path& folder, const std::string* onlyName) {
    const int descriptor = ::inotify_add_watch(inotify_.get(), folder.c_str(), watchedEvents);
    if (descriptor < 0) {
        return;  // gone meanwhile, unreadable or out of watches: the next burst tries again
    }
    // The same folder reached twice (two targets sharing a parent) has one descriptor.
    Watch& watch = watches_[descriptor];
    watch.folder = folder;
    if (onlyName == nullptr) {
        watch.everything = true;
    } else {
        watch.names.insert(*onlyName);
    }
}

void FileTreeWatcher::watchTree(const fs::path& folder, int depth) {
    watchFolder(folder, nullptr);
    if (depth >= deepestTree) {
        return;
    }
    std::error_code error;
    fs::directory_iterator listing(folder, error);
    for (const fs::directory_iterator end; !error && listing != end; listing.increment(error)) {
        // Linked folders are not followed, so a link back up cannot loop.
        std::error_code statusError;
        if (listing->symlink_status(statusError).type() == fs::file_type::directory) {
            watchTree(listing->path(), depth + 1);
        }
    }
}

void FileTreeWatcher::watchFromNearestParent(const fs::path& path) {
    fs::path child = path;
    for (;;) {
        const fs::path parent = child.parent_path();
        if (parent.empty() || parent == child) {
            return;
        }
        std::error_code error;
        if (fs::is_directory(parent, error)) {
            const std::string name = child.filename().string();
            watchFolder(parent, &name);
            return;
        }
        child = parent;
    }
}

bool FileTreeWatcher::readEvents() {
    alignas(inotify_event) char buffer[16 * 1024];
    bool relevant = false;
    std::vector<fs::path> newFolders;
    for (;;) {
        const ssize_t length = ::read(inotify_.get(), buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) {
            continue;
        }
        if (length <= 0) {
            break;  // drained (EAGAIN)
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) {
                relevant = true;  // events were lost: anything may have changed
                continue;
            }
            const auto watch = watches_.find(event->wd);
            // Removed watches (our own re-arming) report IN_IGNORED and may have older events queued.
            if ((event->mask & IN_IGNORED) || watch == watches_.end()) {
                continue;
            }
            if ((event->mask & (IN_DELETE_SELF | IN_MOVE_SELF)) || watch->second.everything ||
                (event->len > 0 && watch->second.names.contains(event->name))) {
                relevant = true;
            }
            // A folder new to a watched tree is watched at once, so that what is written into it
            // belongs to the same burst.
            if (watch->second.everything && (event->mask & IN_ISDIR) && (event->mask & (IN_CREATE | IN_MOVED_TO)) &&
                event->len > 0) {
                newFolders.push_back(watch->second.folder / event->name);
            }
        }
    }
    for (const fs::path& folder : newFolders) {
        watchTree(folder, 1);
    }
    return relevant;
}

void FileTreeWatcher::run(std::stop_token stop) {
    using Clock = std::chrono::steady_clock;
    bool inBurst = false;
    bool quietDue = false;  // a burst was handled and onQuiet has not been told yet
    Clock::time_point burstStart;
    Clock::time_point lastChange;
    const auto due = [&] { return std::min(lastChange + timing_.quietPeriod, burstStart + timing_.longestDelay); };
    pollfd descriptors[2] = {{inotify_.get(), POLLIN, 0}, {wake_.get(), POLLIN, 0}};
    while (!stop.stop_requested()) {
        if (quietDue && !inBurst) {
            pollfd pending{inotify_.get(), POLLIN, 0};
            if (::poll(&pending, 1, 0) == 0) {
                quietDue = false;
                if (timing_.onQuiet) {
                    timing_.onQuiet();
                }
            }
        }
        int timeout = -1;
        if (inBurst) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due() - Clock::now());
            timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
        }
        if (::poll(descriptors, 2, timeout) < 0 && errno != EINTR) {
            return;
        }
        if (descriptors[1].revents != 0) {
            return;
        }
        if ((descriptors[0].revents & POLLIN) && readEvents()) {
            lastChange = Clock::now();
            if (!inBurst) {
                inBurst = true;
                burstStart = lastChange;
            }
        }
        if (inBurst && Clock::now() >= due()) {
            inBurst = false;
            disarm();
            arm();
            try {
                onBurst_(stop);
            } catch (...) {
                // The handler reports its own failures; a failed round leaves the next burst to try.
            }
            quietDue = true;
        }
    }
}

}  // namespace nudgerly
