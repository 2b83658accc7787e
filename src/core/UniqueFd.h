#pragma once

#include <utility>

namespace nudgerly {

// Owns one file descriptor and closes it when it goes, ignoring the outcome. Where a failed close
// matters (after writing), call `close()` and look at its result.
class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~UniqueFd() { reset(); }

    int get() const noexcept { return fd_; }
    bool valid() const noexcept { return fd_ >= 0; }
    explicit operator bool() const noexcept { return valid(); }

    // Gives the descriptor up without closing it.
    int release() noexcept { return std::exchange(fd_, -1); }
    // Closes the held descriptor, if any, and holds `fd` instead.
    void reset(int fd = -1) noexcept;
    // Closes the held descriptor now: 0, or the errno of a failed close. It is gone either way.
    int close() noexcept;

private:
    int fd_ = -1;
};

}  // namespace nudgerly
