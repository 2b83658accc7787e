#pragma once

#include <chrono>
#include <thread>

namespace nudgerly {

// A call handed to the other thread usually comes back within microseconds. Waiting that long by
// spinning spares the thread wake-ups, which would cost more than the call itself; past it, the
// waiter sleeps as usual.
inline constexpr auto spinBeforeSleeping = std::chrono::microseconds(50);

inline void relaxCpu() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Spins until `ready()` holds or the short while is over; true when ready. It yields now and then,
// so a busy machine still runs the thread it waits for.
template <typename Ready>
bool spinBriefly(Ready ready) {
    const auto until = std::chrono::steady_clock::now() + spinBeforeSleeping;
    for (unsigned round = 1;; ++round) {
        if (ready()) {
            return true;
        }
        if (round % 64 != 0) {
            relaxCpu();
        } else if (std::chrono::steady_clock::now() >= until) {
            return false;
        } else {
            std::this_thread::yield();
        }
    }
}

}  // namespace nudgerly
