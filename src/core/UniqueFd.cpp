#include "core/UniqueFd.h"

#include <cerrno>

#include <unistd.h>

namespace nudgerly {

void UniqueFd::reset(int fd) noexcept {
    const int previous = std::exchange(fd_, fd);
    if (previous >= 0 && previous != fd) {
        ::close(previous);  // on Linux the descriptor is released even when close reports an error
    }
}

int UniqueFd::close() noexcept {
    const int previous = release();
    if (previous < 0) {
        return 0;
    }
    return ::close(previous) == 0 ? 0 : errno;
}

}  // namespace nudgerly
