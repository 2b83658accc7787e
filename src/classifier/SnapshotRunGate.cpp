#include "classifier/SnapshotRunGate.h"

namespace nudgerly {

void SnapshotRunGate::acquire() {
    std::unique_lock lock(mutex_);
    const uint64_t ticket = nextTicket_++;
    turnChanged_.wait(lock, [&] { return serving_ == ticket; });
}

uint64_t SnapshotRunGate::waitingCount() {
    std::lock_guard lock(mutex_);
    return nextTicket_ - serving_ > 0 ? nextTicket_ - serving_ - 1 : 0;
}

void SnapshotRunGate::release() {
    {
        std::lock_guard lock(mutex_);
        ++serving_;
    }
    turnChanged_.notify_all();
}

}  // namespace nudgerly
