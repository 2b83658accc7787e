#include "loopback/LoopbackHttpServer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include "loopback/AcceptLoop.h"

namespace nudgerly::test {
namespace {

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::string reasonPhrase(int status) {
    switch (status) {
        case 200: return "OK";
        case 206: return "Partial Content";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 416: return "Range Not Satisfiable";
        case 429: return "Too Many Requests";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
    }
}

// The byte stream of one connection, plain or TLS.
class Connection {
public:
    Connection(int fd, SSL_CTX* context) : fd_(fd) {
        if (context) {
            ssl_ = SSL_new(context);
            SSL_set_fd(ssl_, fd);
            if (SSL_accept(ssl_) != 1) {
                ok_ = false;
            }
        }
    }
    ~Connection() {
        if (ssl_) {
            if (ok_ && !dropped_) {
                SSL_shutdown(ssl_);
            }
            SSL_free(ssl_);
        }
        ::close(fd_);
    }
    bool ok() const { return ok_; }
    // Waits until bytes can be read; false when `stopFd` became readable first or the wait failed.
    bool waitReadable(int stopFd) const {
        if (ssl_ && SSL_pending(ssl_) > 0) {
            return true;
        }
        pollfd fds[2] = {{fd_, POLLIN, 0}, {stopFd, POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0) {
            if (errno != EINTR) {
                return false;
            }
        }
        return fds[1].revents == 0;
    }
    long read(char* buffer, int size) {
        if (ssl_) {
            return SSL_read(ssl_, buffer, size);
        }
        return ::recv(fd_, buffer, static_cast<std::size_t>(size), 0);
    }
    bool writeAll(std::string_view bytes) {
        while (!bytes.empty()) {
            long n = 0;
            if (ssl_) {
                n = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
            } else {
                n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            }
            if (n <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    void drop() {
        dropped_ = true;
        // A reset rather than an orderly close, so the client sees a broken transfer.
        linger option{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
        ::shutdown(fd_, SHUT_RDWR);
    }

private:
    int fd_;
    SSL* ssl_ = nullptr;
    bool ok_ = true;
    bool dropped_ = false;
};

class ConnectionWriter : public ResponseWriter {
public:
    // With `mayKeepOpen` an answer of known length leaves the connection open for the next request.
    ConnectionWriter(Connection& connection, bool mayKeepOpen) : connection_(connection), keepOpen_(mayKeepOpen) {}

    void writeHead(int status, const std::vector<std::pair<std::string, std::string>>& headers,
                   std::optional<uint64_t> contentLength) override {
        std::string head = "HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
        for (const auto& [name, value] : headers) {
            head += name + ": " + value + "\r\n";
        }
        if (contentLength) {
            head += "Content-Length: " + std::to_string(*contentLength) + "\r\n";
        }
        keepOpen_ = keepOpen_ && contentLength.has_value();
        head += keepOpen_ ? "\r\n" : "Connection: close\r\n\r\n";
        headWritten_ = true;
        alive_ = connection_.writeAll(head);
    }
    bool writeBody(std::string_view bytes) override {
        alive_ = alive_ && connection_.writeAll(bytes);
        return alive_;
    }
    void drop() override {
        connection_.drop();
        alive_ = false;
    }
    bool headWritten() const { return headWritten_; }
    bool keptOpen() const { return keepOpen_ && alive_; }

private:
    Connection& connection_;
    bool keepOpen_;
    bool headWritten_ = false;
    bool alive_ = true;
};

// Reads one request from `data` and the connection, leaving in `data` what came after it.
std::optional<TestHttpRequest> readRequest(Connection& connection, std::string& data) {
    char buffer[16384];
    std::size_t headerEnd = std::string::npos;
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        const long n = connection.read(buffer, sizeof buffer);
        if (n <= 0) {
            return std::nullopt;
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
    TestHttpRequest request;
    const std::string head = data.substr(0, headerEnd);
    std::size_t lineEnd = head.find("\r\n");
    const std::string requestLine = head.substr(0, lineEnd);
    const auto firstSpace = requestLine.find(' ');
    const auto secondSpace = requestLine.find(' ', firstSpace + 1);
    request.method = requestLine.substr(0, firstSpace);
    request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    while (lineEnd != std::string::npos && lineEnd < head.size()) {
        const std::size_t start = lineEnd + 2;
        lineEnd = head.find("\r\n", start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const auto colon = line.find(':');
        if (colon == std::string::npos) {
            continue;
        }
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        request.headers[lowercase(line.substr(0, colon))] = value;
    }
    const auto length = request.header("content-length");
    const std::size_t wanted = length ? std::stoul(*length) : 0;
    const std::size_t bodyStart = headerEnd + 4;
    while (data.size() - bodyStart < wanted) {
        const long n = connection.read(buffer, sizeof buffer);
        if (n <= 0) {
            return std::nullopt;
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
    // Without a length, whatever arrived with the head counts as the body.
    const std::size_t bodyLength = length ? wanted : data.size() - bodyStart;
    request.body = data.substr(bodyStart, bodyLength);
    data.erase(0, bodyStart + bodyLength);
    return request;
}

}  // namespace

std::optional<std::string> TestHttpRequest::header(const std::string& lowercaseName) const {
    const auto it = headers.find(lowercaseName);
    if (it == headers.end()) {
        return std::nullopt;
    }
    return it->second;
}

std::string TestHttpRequest::path() const {
    return target.substr(0, target.find('?'));
}

void ResponseWriter::respond(int status, std::string_view body,
                             std::vector<std::pair<std::string, std::string>> headers) {
    writeHead(status, headers, body.size());
    writeBody(body);
}

struct LoopbackHttpServer::Tls {
    SSL_CTX* context = nullptr;
    ~Tls() { SSL_CTX_free(context); }
};

LoopbackHttpServer::LoopbackHttpServer(Handler handler, bool tls, uint16_t port, bool refuseUntilOpened)
    : handler_(std::move(handler)) {
    ::signal(SIGPIPE, SIG_IGN);
    if (tls) {
        tls_ = std::make_unique<Tls>();
        EVP_PKEY* key = EVP_EC_gen("P-256");
        X509* certificate = X509_new();
        ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
        X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
        X509_gmtime_adj(X509_getm_notAfter(certificate), 3600L * 24);
        X509_set_pubkey(certificate, key);
        X509_NAME* name = X509_get_subject_name(certificate);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1,
                                   -1, 0);
        X509_set_issuer_name(certificate, name);
        X509V3_CTX v3;
        X509V3_set_ctx(&v3, certificate, certificate, nullptr, nullptr, 0);
        for (const auto& [nid, value] : {std::pair{NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
                                         std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
            X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
            X509_add_ext(certificate, extension, -1);
            X509_EXTENSION_free(extension);
        }
        X509_sign(certificate, key, EVP_sha256());

        tls_->context = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(tls_->context, certificate);
        SSL_CTX_use_PrivateKey(tls_->context, key);

        const auto folder = std::filesystem::temp_directory_path();
        caFile_ = (folder / ("nudgerly-test-ca-" + std::to_string(::getpid()) + "-" +
                             std::to_string(reinterpret_cast<uintptr_t>(this)) + ".pem"))
                      .string();
        FILE* file = std::fopen(caFile_.c_str(), "w");
        PEM_write_X509(file, certificate);
        std::fclose(file);
        X509_free(certificate);
        EVP_PKEY_free(key);
    }

    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (port != 0) {
        // Like a real server on a fixed port: connections of an earlier listener waiting out their
        // close must not keep it from starting.
        const int on = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        throw std::runtime_error("test server cannot listen");
    }
    socklen_t length = sizeof address;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    if (::pipe2(stopPipe_, O_CLOEXEC) != 0) {
        throw std::runtime_error("test server cannot make a pipe");
    }
    if (!refuseUntilOpened) {
        open();
    }
}

// A port that is bound but not listening refuses connections, as a host that is down does.
void LoopbackHttpServer::open() {
    if (acceptThread_.joinable()) {
        return;
    }
    if (::listen(listenFd_, 64) != 0) {
        throw std::runtime_error("test server cannot listen");
    }
    acceptThread_ = std::thread([this] { acceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stop();
    if (!caFile_.empty()) {
        std::filesystem::remove(caFile_);
    }
}

std::string LoopbackHttpServer::baseUrl() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<TestHttpRequest> LoopbackHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::size_t LoopbackHttpServer::requestCount() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

void LoopbackHttpServer::stop() {
    if (stopping_.exchange(true)) {
        return;
    }
    const char byte = 0;
    [[maybe_unused]] const auto written = ::write(stopPipe_[1], &byte, 1);
    if (acceptThread_.joinable()) {
        acceptThread_.join();
    }
    std::vector<std::thread> connections;
    {
        std::lock_guard lock(mutex_);
        connections.swap(connections_);
    }
    for (auto& thread : connections) {
        thread.join();
    }
    ::close(listenFd_);
    ::close(stopPipe_[0]);
    ::close(stopPipe_[1]);
}

void LoopbackHttpServer::acceptLoop() {
    acceptUntilStopped(listenFd_, stopPipe_[0], [this](int fd) {
        std::lock_guard lock(mutex_);
        connections_.emplace_back([this, fd] { serve(fd); });
    });
}

void LoopbackHttpServer::serve(int fd) {
    if (keepAlive_) {
        // Answers leave in one piece rather than waiting on the acknowledgement of their head.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    Connection connection(fd, tls_ ? tls_->context : nullptr);
    if (!connection.ok()) {
        return;
    }
    if (tls_) {
        ++tlsHandshakes_;
    }
    std::string received;
    for (;;) {
        if (keepAlive_ && received.empty() && !connection.waitReadable(stopPipe_[0])) {
            return;
        }
        const auto request = readRequest(connection, received);
        if (!request) {
            return;
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(*request);
        }
        ConnectionWriter writer(connection, keepAlive_ && request->header("connection") != "close");
        handler_(*request, writer);
        if (!writer.headWritten()) {
            writer.respond(500, "handler wrote nothing");
        }
        if (!writer.keptOpen()) {
            return;
        }
    }
}

}  // namespace nudgerly::test
