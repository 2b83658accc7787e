#include "core/Sleep.h"

#include <condition_variable>
#include <mutex>

#include "core/CancelledError.h"

namespace nudgerly {

void sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) {
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    // Nothing but a stop request ends the wait early.
    wake.wait_for(lock, stop, duration, [] { return false; });
    if (stop.stop_requested()) {
        throw CancelledError();
    }
}

}  // namespace nudgerly
