#include "core/DetachedThreads.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace nudgerly::DetachedThreads {
namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable ended;
    std::size_t running = 0;
};

// Never destroyed: a detached thread may still be signing off while the program exits.
Registry& registry() {
    static auto* shared = new Registry;
    return *shared;
}

void signOff() {
    auto& shared = registry();
    std::lock_guard lock(shared.mutex);
    --shared.running;
    shared.ended.notify_all();
}

}  // namespace

std::stop_source start(std::function<void(std::stop_token)> work) {
    std::stop_source stop;
    {
        auto& shared = registry();
        std::lock_guard lock(shared.mutex);
        ++shared.running;
    }
    try {
        std::thread([work = std::move(work), token = stop.get_token()]() mutable {
            {
                // Whatever the work holds is released before the thread counts as ended.
                const auto owned = std::move(work);
                try {
                    owned(token);
                } catch (...) {
                }
            }
            signOff();
        }).detach();
    } catch (...) {
        signOff();
        throw;
    }
    return stop;
}

std::size_t running() {
    auto& shared = registry();
    std::lock_guard lock(shared.mutex);
    return shared.running;
}

bool waitUntilAllEnded(std::chrono::milliseconds timeout) {
    auto& shared = registry();
    std::unique_lock lock(shared.mutex);
    return shared.ended.wait_for(lock, timeout, [&] { return shared.running == 0; });
}

}  // namespace nudgerly::DetachedThreads
