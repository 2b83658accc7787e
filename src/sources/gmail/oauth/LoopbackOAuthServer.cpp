#include "sources/gmail/oauth/LoopbackOAuthServer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/CancelledError.h"
#include "sources/gmail/oauth/GmailError.h"
#include "sources/gmail/oauth/OAuthCallback.h"
#include "sources/gmail/oauth/OAuthCallbackRequest.h"

namespace nudgerly {
namespace {

using SteadyClock = std::chrono::steady_clock;

UniqueFd loopbackListener(uint16_t& port) {
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) {
        throw GmailError::loopbackFailed();
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), static_cast<int>(LoopbackOAuthServer::connectionLimit)) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sin_port == 0) {
        throw GmailError::loopbackFailed();
    }
    port = ntohs(address.sin_port);
    return fd;
}

// Errors of accept() that concern one connection only; the listener goes on.
bool isPassingAcceptError(int error) {
    return error == EINTR || error == ECONNABORTED || error == EPROTO || error == EPERM || error == ENETDOWN ||
           error == ENOPROTOOPT || error == EHOSTDOWN || error == ENONET || error == EHOSTUNREACH ||
           error == EOPNOTSUPP || error == ENETUNREACH;
}

}  // namespace

LoopbackOAuthServer::LoopbackOAuthServer(std::string expectedState, LoopbackOAuthServerPatience patience)
    : expectedState_(std::move(expectedState)), patience_(patience), listener_(loopbackListener(port_)) {
    wake_.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!wake_) {
        throw GmailError::loopbackFailed();
    }
}

LoopbackOAuthServer::~LoopbackOAuthServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::string LoopbackOAuthServer::start() {
    std::lock_guard lock(mutex_);
    if (terminalError_) {
        std::rethrow_exception(terminalError_);
    }
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { serve(); });
    }
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(OAuthCallbackRequest::callbackPath);
}

Url LoopbackOAuthServer::waitForCallback(std::chrono::milliseconds timeout, std::stop_token stop) {
    std::unique_lock lock(mutex_);
    const auto takePending = [&]() -> std::optional<Url> {
        if (pendingCallback_) {
            return std::exchange(pendingCallback_, std::nullopt);
        }
        return std::nullopt;
    };
    if (auto callback = takePending()) {
        return std::move(*callback);
    }
    if (terminalError_) {
        std::rethrow_exception(terminalError_);
    }
    if (callbackCompleted_ || waiting_) {
        throw GmailError::loopbackFailed();
    }
    waiting_ = true;
    const auto deadline = SteadyClock::now() + std::max(timeout, std::chrono::milliseconds(0));
    changed_.wait_until(lock, stop, deadline, [&] { return pendingCallback_ || terminalError_; });
    if (!pendingCallback_ && !terminalError_) {
        lock.unlock();
        fail(stop.stop_requested() ? std::make_exception_ptr(CancelledError())
                                   : std::make_exception_ptr(GmailError::loopbackTimedOut()));
        lock.lock();
    }
    if (auto callback = takePending()) {
        return std::move(*callback);
    }
    std::rethrow_exception(terminalError_);
}

void LoopbackOAuthServer::complete(Url callback) {
    {
        std::lock_guard lock(mutex_);
        if (!terminalError_ && !callbackCompleted_) {
            callbackCompleted_ = true;
            pendingCallback_ = std::move(callback);
            changed_.notify_all();
        }
    }
    listener_.reset();  // called on the serving thread, which owns the listener
}

void LoopbackOAuthServer::fail(std::exception_ptr error) {
    {
        std::lock_guard lock(mutex_);
        if (terminalError_ || callbackCompleted_) {
            return;
        }
        terminalError_ = std::move(error);
        closeListener_ = true;
        changed_.notify_all();
    }
    wake();
}

void LoopbackOAuthServer::wake() {
    const uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_.get(), &one, sizeof one);
}

void LoopbackOAuthServer::serve() {
    std::vector<pollfd> polled;
    for (;;) {
        polled.clear();
        polled.push_back({.fd = wake_.get(), .events = POLLIN, .revents = 0});
        polled.push_back({.fd = listener_.get(), .events = POLLIN, .revents = 0});  // ignored once closed (-1)
        auto nextDeadline = SteadyClock::time_point::max();
        for (const Connection& connection : connections_) {
            const short events = connection.answer.empty() ? POLLIN : POLLOUT;
            polled.push_back({.fd = connection.fd.get(), .events = events, .revents = 0});
            nextDeadline = std::min(nextDeadline, deadline(connection));
        }
        int timeoutMs = -1;
        if (nextDeadline != SteadyClock::time_point::max()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(nextDeadline - SteadyClock::now());
            timeoutMs = static_cast<int>(std::clamp<long long>(left.count(), 0, 60'000));
        }
        if (::poll(polled.data(), polled.size(), timeoutMs) < 0 && errno != EINTR) {
            fail(std::make_exception_ptr(GmailError::loopbackFailed()));
            return;
        }

        if (polled[0].revents != 0) {
            uint64_t count = 0;
            [[maybe_unused]] const auto drained = ::read(wake_.get(), &count, sizeof count);
            std::lock_guard lock(mutex_);
            if (stopping_) {
                return;  // the connections close with the server
            }
            if (closeListener_) {
                listener_.reset();
            }
        }
        // The open connections first, so that a flood of new ones cannot push out one that has spoken.
        const auto now = SteadyClock::now();
        for (std::size_t index = 0; index < connections_.size(); ++index) {
            Connection& connection = connections_[index];
            if (polled[index + 2].revents != 0) {
                if (connection.answer.empty()) {
                    readFrom(connection);
                } else {
                    sendTo(connection);
                }
            }
            // Also while bytes trickle in: a request line that never ends holds its place otherwise.
            if (!connection.closed && now >= deadline(connection)) {
                connection.closed = true;
            }
        }
        std::erase_if(connections_, [](const Connection& connection) { return connection.closed; });
        // Connections accepted now are polled from the next round on.
        if (listener_ && polled[1].revents != 0) {
            acceptConnections();
        }
    }
}

SteadyClock::time_point LoopbackOAuthServer::deadline(const Connection& connection) const {
    const auto idle = connection.lastActivity + patience_.idle;
    if (connection.hasRequestLine || !connection.answer.empty()) {
        return idle;
    }
    return std::min(idle, connection.accepted + patience_.requestLine);
}

bool LoopbackOAuthServer::dropOldestIdleConnection() {
    // Accepted in order, so the first one reading is the oldest.
    const auto oldest =
        std::ranges::find_if(connections_, [](const Connection& connection) { return connection.answer.empty(); });
    if (oldest == connections_.end()) {
        return false;
    }
    connections_.erase(oldest);  // closed unanswered
    return true;
}

void LoopbackOAuthServer::acceptConnections() {
    for (;;) {
        UniqueFd accepted(::accept4(listener_.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!accepted) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;
            }
            if (isPassingAcceptError(errno)) {
                continue;
            }
            // Out of descriptors or worse: a listener that cannot accept would only spin.
            fail(std::make_exception_ptr(GmailError::loopbackFailed()));
            listener_.reset();
            return;
        }
        if (connections_.size() >= connectionLimit && !dropOldestIdleConnection()) {
            continue;  // every place holds an answer on its way: closed as it goes out of scope
        }
        const auto now = SteadyClock::now();
        connections_.push_back({.fd = std::move(accepted), .accepted = now, .lastActivity = now});
    }
}

void LoopbackOAuthServer::readFrom(Connection& connection) {
    std::array<char, 8192> buffer;
    const std::size_t room = OAuthCallbackRequest::requestLimit - connection.received.size();
    const ssize_t count = ::recv(connection.fd.get(), buffer.data(), std::min(room, buffer.size()), 0);
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return;
    }
    connection.lastActivity = SteadyClock::now();
    if (count > 0) {
        connection.received.append(buffer.data(), static_cast<std::size_t>(count));
        connection.hasRequestLine =
            connection.hasRequestLine || OAuthCallbackRequest::hasRequestLine(connection.received);
    }
    if (OAuthCallbackRequest::hasCompleteHead(connection.received)) {
        auto callback = OAuthCallbackRequest::callbackAddress(connection.received);
        if (!callback) {
            answer(connection, OAuthCallbackRequest::notFound());
            return;
        }
        if (!OAuthCallback::answersSignIn(*callback, expectedState_)) {
            // Any local program can reach the port, and an old tab may call back: the sign-in waits on
            // for the answer that carries its state.
            answer(connection, OAuthCallbackRequest::response("200 OK", OAuthCallbackRequest::notCompletedPage));
            return;
        }
        // The page is only the browser's; the waiting sign-in judges the callback itself.
        const bool signedIn = OAuthCallback::completesSignIn(*callback, expectedState_);
        answer(connection, OAuthCallbackRequest::response("200 OK", signedIn ? OAuthCallbackRequest::successPage
                                                                             : OAuthCallbackRequest::notCompletedPage));
        complete(std::move(*callback));
        return;
    }
    if (count > 0 && connection.received.size() < OAuthCallbackRequest::requestLimit) {
        return;  // more to come
    }
    // The end of the stream, an error, or the limit reached without the end of a head.
    answer(connection, OAuthCallbackRequest::notFound());
}

void LoopbackOAuthServer::answer(Connection& connection, std::string bytes) {
    connection.answer = std::move(bytes);
    connection.sent = 0;
    sendTo(connection);
}

void LoopbackOAuthServer::sendTo(Connection& connection) {
    while (connection.sent < connection.answer.size()) {
        const ssize_t count = ::send(connection.fd.get(), connection.answer.data() + connection.sent,
                                     connection.answer.size() - connection.sent, MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return;  // the rest when the socket has room
            }
            break;
        }
        connection.sent += static_cast<std::size_t>(count);
        connection.lastActivity = SteadyClock::now();
    }
    connection.closed = true;
}

}  // namespace nudgerly
