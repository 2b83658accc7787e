#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "core/UniqueFd.h"

namespace nudgerly {

// One running program per configuration folder: two over the same files would each save what the other
// just changed. The first holds an exclusive flock on "instance.lock" there, which the kernel drops with
// the process however it ends (no stale lock after a crash or kill -9), and listens on "instance.socket"
// beside it; a later start asks it to show its window instead of running. Only processes of the same
// user are listened to.
class SingleInstance {
public:
    // The folder's instance, when no other process holds it; none when one does. The folder and the
    // lock file are made as needed; where they cannot be (a read-only home) the program runs unguarded
    // rather than not at all.
    static std::optional<SingleInstance> claim(const std::filesystem::path& configurationFolder);

    // Asks the instance holding the folder to show its window: true once it said it would, false when
    // it could not be reached or did not answer within `patience`. Writes nothing.
    static bool showRunningInstance(const std::filesystem::path& configurationFolder,
                                    std::chrono::milliseconds patience = std::chrono::seconds(5));

    // Readable when a later start is asking for the window; -1 when no one can ask.
    int requestDescriptor() const { return listener_.get(); }
    // Answers the waiting requests; true when one of them asked for the window.
    bool takeShowRequests();

private:
    SingleInstance(UniqueFd lock, UniqueFd listener) : lock_(std::move(lock)), listener_(std::move(listener)) {}

    UniqueFd lock_;
    UniqueFd listener_;
};

}  // namespace nudgerly
