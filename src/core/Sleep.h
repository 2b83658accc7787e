#pragma once

#include <chrono>
#include <stop_token>

namespace nudgerly {

// Sleeps for `duration` on the steady clock. Throws CancelledError when `stop` is requested before or
// during the sleep, at once rather than when the time is up.
void sleepFor(std::chrono::nanoseconds duration, std::stop_token stop);

}  // namespace nudgerly
