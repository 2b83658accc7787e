#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "core/UniqueFd.h"
#include "platform/formats/Url.h"

namespace nudgerly {

// The tiny web server that receives the browser's redirect at the end of the Gmail sign-in. It listens
// on 127.0.0.1 only, at a port the system picks, answers every request with a small page and closes
// the connection, and hands the first callback request that carries the sign-in's state to the one
// waiting caller; callbacks of another state get the "not completed" page and change nothing. The
// first outcome wins: one callback or one error, never both; after either it stops listening, while
// connections already open are still answered.
//
// How long the loopback callback server waits for a connection before giving it up unanswered.
struct LoopbackOAuthServerPatience {
    // Since the connection last sent or took bytes.
    std::chrono::milliseconds idle{10'000};
    // Since it was accepted, for its whole request line: a browser sends it at once.
    std::chrono::milliseconds requestLine{2'000};
};

// One thread of its own polls the listener, the connections and a wake-up descriptor. Connections that
// exhaust its patience are closed unanswered. At most `connectionLimit` are open at once: a new one
// takes the place of the oldest still waiting for its request, so that idle connections of other
// programs cannot lock the browser out. Destroying the server closes everything and joins the thread.
class LoopbackOAuthServer {
public:
    static constexpr std::size_t connectionLimit = 16;

    // Binds the listener. `expectedState` is the state the sign-in waits for: only a callback that
    // carries it ends the wait, and only one that also grants access gets the "Gmail connected" page;
    // the waiting caller judges the rest.
    // Throws GmailError::loopbackFailed when no listener can be had.
    explicit LoopbackOAuthServer(std::string expectedState, LoopbackOAuthServerPatience patience = {});
    ~LoopbackOAuthServer();
    LoopbackOAuthServer(const LoopbackOAuthServer&) = delete;
    LoopbackOAuthServer& operator=(const LoopbackOAuthServer&) = delete;

    // Starts serving and returns the redirect address, "http://127.0.0.1:<port>/oauth/callback".
    // Throws the error that already ended the server, if one did.
    std::string start();

    // The address of the first callback request, also when it came before this call. Throws
    // GmailError::loopbackTimedOut when none came within `timeout` (at once when it is not positive),
    // CancelledError when `stop` is requested first, the error that ended the server, and
    // GmailError::loopbackFailed for a second wait or a wait after the callback was handed out.
    Url waitForCallback(std::chrono::milliseconds timeout, std::stop_token stop);

    uint16_t port() const { return port_; }

private:
    struct Connection {
        UniqueFd fd;
        std::string received;
        std::string answer;  // being sent once the request was judged
        std::size_t sent = 0;
        std::chrono::steady_clock::time_point accepted;
        std::chrono::steady_clock::time_point lastActivity;
        bool hasRequestLine = false;
        bool closed = false;
    };

    void serve();
    void acceptConnections();
    // When the connection is given up unless it has been answered.
    std::chrono::steady_clock::time_point deadline(const Connection& connection) const;
    // Closes the oldest connection still reading its request; false when every one is being answered.
    bool dropOldestIdleConnection();
    void readFrom(Connection& connection);
    void answer(Connection& connection, std::string bytes);
    void sendTo(Connection& connection);
    void complete(Url callback);
    void fail(std::exception_ptr error);
    void wake();

    const std::string expectedState_;
    const LoopbackOAuthServerPatience patience_;
    uint16_t port_ = 0;                    // set while the listener is made
    UniqueFd listener_;                    // touched by the serving thread only, once it runs
    UniqueFd wake_;                        // an eventfd: stop, or close the listener
    std::vector<Connection> connections_;  // serving thread only

    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::optional<Url> pendingCallback_;
    bool callbackCompleted_ = false;
    bool waiting_ = false;
    std::exception_ptr terminalError_;
    bool closeListener_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace nudgerly
