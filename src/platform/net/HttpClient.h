#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/UserFacingError.h"

namespace nudgerly {

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // The whole exchange must finish within this time.
    std::chrono::milliseconds timeout{60'000};
    std::chrono::milliseconds connectTimeout{15'000};
    // Fails as timed out once the answer has come in at under one byte a second for this long (a
    // server that took the request and fell silent). None by default: some servers think a long
    // time before their first byte.
    std::optional<std::chrono::seconds> stallTimeout;
    // A larger answer fails with HttpError::Kind::responseTooLarge; 0 means no limit.
    std::size_t maxResponseBytes = 0;
    // A PEM file of certificates to trust instead of the system's (tests with a self-signed server).
    std::optional<std::string> caFile;
};

struct HttpResponse {
    long status = 0;
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order, names as sent
    std::string body;

    // The first header with this name, compared without regard to case.
    std::optional<std::string> header(std::string_view name) const;
};

// A request that got no complete HTTP answer. what() is a short English sentence.
class HttpError : public UserFacingError {
public:
    enum class Kind {
        timedOut,
        cannotConnect,  // the host could not be resolved or refused the connection
        connectionLost,
        responseTooLarge,
        secureConnectionFailed,  // the TLS handshake broke off; often passing, unlike a refused certificate
        insecureConnection,      // the server's certificate (or our trust settings) failed verification
        other,
    };

    HttpError(Kind kind, const std::string& sentence) : UserFacingError(sentence), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// Sends one request and waits for the whole answer. Redirects are not followed (callers that allow them
// check each hop themselves). Requests to loopback addresses never use a proxy, so nothing meant for a
// local server can leave the machine. A stop request ends the wait within about a second with
// CancelledError; transport failures throw HttpError; any HTTP status is a normal response.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResponse send(const HttpRequest& request, std::stop_token stop) = 0;
};

// Requests to a host that answered before reuse its open connection, so that only the first pays the
// TCP and TLS handshakes; concurrent requests each get a connection of their own.
class CurlHttpClient : public HttpClient {
public:
    CurlHttpClient();
    ~CurlHttpClient() override;
    CurlHttpClient(const CurlHttpClient&) = delete;
    CurlHttpClient& operator=(const CurlHttpClient&) = delete;

    HttpResponse send(const HttpRequest& request, std::stop_token stop) override;

private:
    class HandlePool;
    std::unique_ptr<HandlePool> handles_;
};

// True for http(s) URLs whose host is 127.0.0.0/8, ::1 or "localhost".
bool isLoopbackUrl(const std::string& url);

// Makes libcurl ready for use from any thread; called by everything that uses libcurl.
void ensureCurlInitialised();

// Reads one header line as libcurl hands it over: a status line starts the response afresh (its
// status read, its headers cleared); a "Name: value" line is added with the value trimmed.
void readHeaderLine(HttpResponse& response, std::string_view line);

// The HttpError for a libcurl failure code (a CURLcode), told the same way by every libcurl user.
HttpError transportError(int curlCode);

}  // namespace nudgerly
