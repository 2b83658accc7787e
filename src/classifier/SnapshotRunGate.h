#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace nudgerly {

// Admits one snapshot run at a time, across both sources, strictly in arrival order.
class SnapshotRunGate {
public:
    void acquire();
    void release();
    // How many callers wait for their turn (not counting the holder).
    uint64_t waitingCount();

    // Holds the gate for a scope, releasing it on every path out (exceptions included).
    class Hold {
    public:
        explicit Hold(SnapshotRunGate& gate) : gate_(gate) { gate_.acquire(); }
        ~Hold() { gate_.release(); }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;

    private:
        SnapshotRunGate& gate_;
    };

private:
    std::mutex mutex_;
    std::condition_variable turnChanged_;
    uint64_t nextTicket_ = 0;
    uint64_t serving_ = 0;
};

}  // namespace nudgerly
