#include "platform/system/SingleInstance.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "core/FileSystemError.h"
#include "core/Files.h"

namespace nudgerly {
namespace {

constexpr const char* lockName = "instance.lock";
constexpr const char* socketName = "instance.socket";
constexpr char willShow = 'y';

// The socket's address: its path, or, when that is longer than an address holds, the same file reached
// through the open folder's /proc entry, whose name is always short.
struct SocketAddress {
    UniqueFd folder;
    sockaddr_un address{};
    bool valid = false;
};

SocketAddress socketAddress(const std::filesystem::path& configurationFolder) {
    SocketAddress result;
    std::string path = (configurationFolder / socketName).string();
    if (path.size() >= sizeof result.address.sun_path) {
        result.folder = UniqueFd(::open(configurationFolder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!result.folder) {
            return result;
        }
        path = "/proc/self/fd/" + std::to_string(result.folder.get()) + "/" + socketName;
    }
    result.address.sun_family = AF_UNIX;
    std::memcpy(result.address.sun_path, path.c_str(), path.size() + 1);
    result.valid = true;
    return result;
}

bool peerIsThisUser(int socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

// Listens for later starts; none when the socket cannot be made, and then they say the program runs.
UniqueFd listenForLaterStarts(const std::filesystem::path& configurationFolder) {
    const SocketAddress where = socketAddress(configurationFolder);
    if (!where.valid) {
        return {};
    }
    // The lock is held, so a socket file there is what a process that is gone left behind.
    ::unlink(where.address.sun_path);
    UniqueFd listener(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!listener ||
        ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&where.address), sizeof where.address) != 0 ||
        ::listen(listener.get(), 8) != 0) {
        return {};
    }
    return listener;
}

UniqueFd openLock(const std::filesystem::path& configurationFolder) {
    const std::filesystem::path lock = configurationFolder / lockName;
    // Opened without creating first: a later start must write nothing, and the first made the file.
    UniqueFd fd(::open(lock.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
    if (fd || errno != ENOENT) {
        return fd;
    }
    try {
        createPrivateDirectories(configurationFolder);
    } catch (const FileSystemError&) {
        return {};
    }
    return UniqueFd(::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
}

}  // namespace

std::optional<SingleInstance> SingleInstance::claim(const std::filesystem::path& configurationFolder) {
    UniqueFd lock = openLock(configurationFolder);
    if (!lock) {
        return SingleInstance({}, {});
    }
    int locked = 0;
    do {
        locked = ::flock(lock.get(), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        if (errno == EWOULDBLOCK) {
            return std::nullopt;
        }
        return SingleInstance({}, {});  // a file system without locks: unguarded
    }
    UniqueFd listener = listenForLaterStarts(configurationFolder);
    return SingleInstance(std::move(lock), std::move(listener));
}

bool SingleInstance::showRunningInstance(const std::filesystem::path& configurationFolder,
                                         std::chrono::milliseconds patience) {
    const SocketAddress where = socketAddress(configurationFolder);
    // Not blocking: a program that stopped answering and has a full queue of callers refuses at once.
    UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!where.valid || !socket ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&where.address), sizeof where.address) != 0 ||
        !peerIsThisUser(socket.get())) {
        return false;
    }
    pollfd answer{.fd = socket.get(), .events = POLLIN, .revents = 0};
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int ready = ::poll(&answer, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
        if (ready > 0) {
            break;
        }
        if (ready == 0 || errno != EINTR) {
            return false;
        }
    }
    char reply = 0;
    return ::recv(socket.get(), &reply, 1, 0) == 1 && reply == willShow;
}

bool SingleInstance::takeShowRequests() {
    bool asked = false;
    for (;;) {
        UniqueFd caller(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!caller) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return asked;  // none left (or the listener failed: the next call tries again)
        }
        if (!peerIsThisUser(caller.get())) {
            continue;
        }
        // The caller may have given up already; the window is shown all the same.
        ::send(caller.get(), &willShow, 1, MSG_NOSIGNAL);
        asked = true;
    }
}

}  // namespace nudgerly
