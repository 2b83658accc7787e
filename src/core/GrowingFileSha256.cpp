#include "core/GrowingFileSha256.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace nudgerly {

GrowingFileSha256::GrowingFileSha256(int fd) : fd_(::fcntl(fd, F_DUPFD_CLOEXEC, 0)) {
    if (!fd_) {
        throw std::system_error(errno, std::generic_category());
    }
    thread_ = std::thread([this] { hashAlong(); });
}

GrowingFileSha256::~GrowingFileSha256() {
    dropping_ = true;
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    grown_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

void GrowingFileSha256::grewTo(int64_t size) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        size_ = size;
        wake = wakeAt_ >= 0 && size_ >= wakeAt_;
        if (wake) {
            wakeAt_ = -1;
        }
    }
    // Woken once a whole piece waits rather than for each write.
    if (wake) {
        grown_.notify_all();
    }
}

std::optional<std::string> GrowingFileSha256::finishHex() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    grown_.notify_all();
    thread_.join();
    if (failed_) {
        return std::nullopt;
    }
    return Sha256::hex(hasher_.finish());
}

void GrowingFileSha256::hashAlong() {
    std::vector<char> piece(static_cast<std::size_t>(pieceSize));
    std::unique_lock lock(mutex_);
    for (;;) {
        if (size_ - hashed_ < pieceSize && !ending_) {
            wakeAt_ = hashed_ + pieceSize;
            grown_.wait(lock, [&] { return ending_ || wakeAt_ < 0; });
            wakeAt_ = -1;
        }
        const int64_t end = size_;
        if (dropping_ || (ending_ && hashed_ == end)) {
            return;
        }
        lock.unlock();
        const bool read = hashUpTo(end, piece);
        lock.lock();
        if (!read) {
            failed_ = !dropping_;
            return;
        }
    }
}

bool GrowingFileSha256::hashUpTo(int64_t end, std::vector<char>& piece) {
    while (hashed_ < end && !dropping_) {
        const auto wanted = static_cast<std::size_t>(std::min<int64_t>(piece.size(), end - hashed_));
        const ssize_t count = ::pread(fd_.get(), piece.data(), wanted, hashed_);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;  // unreadable, or shorter than it was said to be
        }
        hasher_.update(piece.data(), static_cast<std::size_t>(count));
        hashed_ += count;
    }
    return !dropping_;
}

}  // namespace nudgerly
