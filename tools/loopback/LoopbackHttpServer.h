#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace nudgerly::test {

struct TestHttpRequest {
    std::string method;
    std::string target;                          // path and query, as sent
    std::map<std::string, std::string> headers;  // names lowercased
    std::string body;

    std::optional<std::string> header(const std::string& lowercaseName) const;
    std::string path() const;  // target without the query
};

// Writes one response on the connection. Handlers can write the head and then the body in pieces, sleep
// in between (to stall), or drop the connection part-way.
class ResponseWriter {
public:
    virtual ~ResponseWriter() = default;
    // Sends the status line and headers. With `contentLength` a Content-Length header is added;
    // without it the body runs until the connection closes.
    virtual void writeHead(int status, const std::vector<std::pair<std::string, std::string>>& headers,
                           std::optional<uint64_t> contentLength) = 0;
    // False when the client went away.
    virtual bool writeBody(std::string_view bytes) = 0;
    // Closes the connection at once (a dropped connection when the body is incomplete).
    virtual void drop() = 0;

    // A complete response in one go.
    void respond(int status, std::string_view body, std::vector<std::pair<std::string, std::string>> headers = {});
};

// A small HTTP/1.1 server on 127.0.0.1 with a random port (or the given one), one thread per
// connection, every response closing its connection unless keepConnectionsOpen() was called. With
// `tls` it serves HTTPS with a self-signed certificate made at start-up; `caFile()` names a PEM file
// that clients can trust. Throws std::runtime_error when it cannot listen.
class LoopbackHttpServer {
public:
    using Handler = std::function<void(const TestHttpRequest&, ResponseWriter&)>;

    // With `refuseUntilOpened` connections to the port are refused until open() is called.
    explicit LoopbackHttpServer(Handler handler, bool tls = false, uint16_t port = 0, bool refuseUntilOpened = false);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    uint16_t port() const { return port_; }
    // Starts taking connections; a server not made refusing has done so from the start.
    void open();
    std::string baseUrl() const;  // "http://127.0.0.1:<port>" or "https://..."
    const std::string& caFile() const { return caFile_; }
    // From now on a response of known length leaves its connection open for the client's next
    // request, as a real server's do.
    void keepConnectionsOpen() { keepAlive_ = true; }
    // The TLS handshakes completed so far: one per connection over HTTPS.
    std::size_t tlsHandshakeCount() const { return tlsHandshakes_; }

    std::vector<TestHttpRequest> requests() const;
    std::size_t requestCount() const;
    // True once stop() began; handlers that stall poll it so that stopping never hangs.
    bool isStopping() const { return stopping_; }
    void stop();

private:
    struct Tls;

    void acceptLoop();
    void serve(int fd);

    Handler handler_;
    std::unique_ptr<Tls> tls_;
    std::string caFile_;
    int listenFd_ = -1;
    int stopPipe_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> keepAlive_{false};
    std::atomic<std::size_t> tlsHandshakes_{0};
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<TestHttpRequest> requests_;
};

}  // namespace nudgerly::test
