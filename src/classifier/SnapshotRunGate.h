#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <stop_token>

namespace nudgerly {

// Admits one snapshot run at a time, across both sources, strictly in arrival order. A caller whose
// stop is requested while it waits leaves the line, and those behind it move up.
class SnapshotRunGate {
public:
    // Waits for the caller's turn. False when `stop` was requested first: the caller does not hold the
    // gate and must not release it.
    bool acquire(std::stop_token stop = {});
    void release();
    // How many callers wait for their turn (not counting the holder).
    uint64_t waitingCount();

    // Holds the gate for a scope, releasing it on every path out (exceptions included).
    class Hold {
    public:
        Hold(SnapshotRunGate& gate, std::stop_token stop) : gate_(gate), held_(gate_.acquire(std::move(stop))) {}
        ~Hold() {
            if (held_) {
                gate_.release();
            }
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

        // False when the wait was stopped before the turn came.
        bool held() const { return held_; }

    private:
        SnapshotRunGate& gate_;
        bool held_;
    };

private:
    void passOnLocked();

    std::mutex mutex_;
    std::condition_variable_any turnChanged_;
    bool held_ = false;
    std::optional<uint64_t> admitted_;  // the waiter the gate was just handed to, until it wakes
    std::deque<uint64_t> waiting_;      // tickets in arrival order
    uint64_t nextTicket_ = 0;
};

}  // namespace nudgerly
