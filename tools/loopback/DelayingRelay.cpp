#include "loopback/DelayingRelay.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>

#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include "loopback/LoopbackSockets.h"

namespace nudgerly::test {
namespace {

using Clock = std::chrono::steady_clock;

// One direction of a relayed connection: what was read from one side, each piece sent on to the
// other side once its time has come, then the end of the stream passed on as well.
class DelayedStream {
public:
    DelayedStream(int to, std::chrono::milliseconds delay, const std::atomic<bool>& stopping)
        : to_(to), delay_(delay), stopping_(stopping), sender_([this] { sendWhenDue(); }) {}
    ~DelayedStream() {
        end();
        sender_.join();
    }
    DelayedStream(const DelayedStream&) = delete;
    DelayedStream& operator=(const DelayedStream&) = delete;

    void pass(std::string bytes) { queue({Clock::now() + delay_, std::move(bytes), false}); }
    void end() { queue({Clock::now() + delay_, {}, true}); }
    // Wakes the sender to give up at once.
    void abandon() {
        std::lock_guard lock(mutex_);
        changed_.notify_all();
    }

private:
    struct Piece {
        Clock::time_point due;
        std::string bytes;
        bool last = false;
    };

    void queue(Piece piece) {
        std::lock_guard lock(mutex_);
        if (!ended_) {
            ended_ = piece.last;
            pieces_.push_back(std::move(piece));
            changed_.notify_all();
        }
    }

    void sendWhenDue() {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return stopping_ || !pieces_.empty(); });
            if (stopping_) {
                return;
            }
            const Clock::time_point due = pieces_.front().due;
            if (changed_.wait_until(lock, due, [&] { return stopping_.load(); })) {
                return;
            }
            Piece piece = std::move(pieces_.front());
            pieces_.pop_front();
            lock.unlock();
            if (piece.last) {
                ::shutdown(to_, SHUT_WR);
                return;
            }
            if (!sendAll(to_, piece.bytes)) {
                return;
            }
            lock.lock();
        }
    }

    const int to_;
    const std::chrono::milliseconds delay_;
    const std::atomic<bool>& stopping_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> pieces_;
    bool ended_ = false;
    std::thread sender_;  // last: it starts once the rest is in place
};

}  // namespace

DelayingRelay::DelayingRelay(uint16_t targetPort, std::chrono::milliseconds delay)
    : targetPort_(targetPort), delay_(delay), listener_([this](int client) { relay(client); }) {}

DelayingRelay::~DelayingRelay() {
    stopping_ = true;
    listener_.stop();
}

void DelayingRelay::relay(int client) {
    const int server = connectToLoopback(targetPort_);
    if (server < 0) {
        ::close(client);
        return;
    }
    // Pieces leave as they come, not held back for the acknowledgement of earlier ones.
    const int on = 1;
    for (const int fd : {client, server}) {
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    {
        DelayedStream toServer(server, delay_, stopping_);
        DelayedStream toClient(client, delay_, stopping_);
        bool clientOpen = true;
        bool serverOpen = true;
        char buffer[65536];
        while ((clientOpen || serverOpen) && !stopping_) {
            pollfd fds[3] = {{clientOpen ? client : -1, POLLIN, 0},
                             {serverOpen ? server : -1, POLLIN, 0},
                             {listener_.stopFd(), POLLIN, 0}};
            if (::poll(fds, 3, -1) < 0 || fds[2].revents != 0) {
                break;
            }
            for (auto [index, open, stream] :
                 {std::tuple{0, &clientOpen, &toServer}, std::tuple{1, &serverOpen, &toClient}}) {
                if (*open && fds[index].revents != 0) {
                    const ssize_t count = ::recv(fds[index].fd, buffer, sizeof buffer, 0);
                    if (count > 0) {
                        stream->pass(std::string(buffer, static_cast<std::size_t>(count)));
                    } else {
                        *open = false;
                        stream->end();
                    }
                }
            }
        }
        if (stopping_) {
            toServer.abandon();
            toClient.abandon();
        }
    }  // both streams have sent what they hold, or given up on a stop
    ::close(server);
    ::close(client);
}

}  // namespace nudgerly::test
