#pragma once

#include <chrono>
#include <future>
#include <stop_token>

#include "core/CancelledError.h"

namespace nudgerly {

// Blocks a worker until `future` is ready, looking at `stop` every tenth of a second; throws
// CancelledError once stop is requested.
template <typename T>
void waitUntilReady(const std::shared_future<T>& future, std::stop_token stop) {
    using namespace std::chrono_literals;
    while (future.wait_for(100ms) != std::future_status::ready) {
        if (stop.stop_requested()) {
            throw CancelledError();
        }
    }
}

}  // namespace nudgerly
