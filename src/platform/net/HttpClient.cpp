#include "platform/net/HttpClient.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include <arpa/inet.h>
#include <curl/curl.h>

#include "core/CancelledError.h"
#include "core/Text.h"
#include "platform/net/CurlHeaderList.h"

namespace nudgerly {
namespace {

struct Exchange {
    HttpResponse response;
    std::size_t limit = 0;
    bool tooLarge = false;
    std::stop_token stop;
};

size_t onBody(char* data, size_t size, size_t count, void* context) {
    auto* exchange = static_cast<Exchange*>(context);
    const size_t bytes = size * count;
    if (exchange->limit != 0 && exchange->response.body.size() + bytes > exchange->limit) {
        exchange->tooLarge = true;
        return 0;  // makes curl stop with a write error
    }
    exchange->response.body.append(data, bytes);
    return bytes;
}

size_t onHeader(char* data, size_t size, size_t count, void* context) {
    const size_t bytes = size * count;
    readHeaderLine(static_cast<Exchange*>(context)->response, std::string_view(data, bytes));
    return bytes;
}

int onProgress(void* context, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Exchange*>(context)->stop.stop_requested() ? 1 : 0;
}

struct EasyHandleDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyHandleDeleter>;

}  // namespace

// Idle easy handles, each with the connections it keeps open. libcurl cannot share one connection
// cache between threads that transfer at the same time, so a request borrows a whole handle and its
// connections with it; as many handles exist as requests ever ran at once.
class CurlHttpClient::HandlePool {
public:
    // More idle handles than this are closed: a burst of requests leaves no lasting crowd of sockets.
    static constexpr std::size_t keptHandles = 8;

    // One handle for one request, back in the pool when the lease ends however the request ended (an
    // aborted transfer has closed its connection). Null when libcurl could not make one.
    class Lease {
    public:
        Lease(HandlePool& pool, EasyHandle handle) : pool_(pool), handle_(std::move(handle)) {}
        ~Lease() {
            if (handle_) {
                pool_.giveBack(std::move(handle_));
            }
        }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        CURL* get() const { return handle_.get(); }

    private:
        HandlePool& pool_;
        EasyHandle handle_;
    };

    Lease lease() { return Lease(*this, take()); }

private:
    EasyHandle take() {
        {
            std::lock_guard lock(mutex_);
            if (!idle_.empty()) {
                EasyHandle handle = std::move(idle_.back());
                idle_.pop_back();
                curl_easy_reset(handle.get());  // every option back to its default; the connections stay
                return handle;
            }
        }
        return EasyHandle(curl_easy_init());
    }

    void giveBack(EasyHandle handle) {
        std::lock_guard lock(mutex_);
        if (idle_.size() < keptHandles) {
            idle_.push_back(std::move(handle));
        }
    }

    std::mutex mutex_;
    std::vector<EasyHandle> idle_;
};

CurlHttpClient::CurlHttpClient() : handles_(std::make_unique<HandlePool>()) {}

CurlHttpClient::~CurlHttpClient() = default;

HttpError transportError(int curlCode) {
    using Kind = HttpError::Kind;
    switch (static_cast<CURLcode>(curlCode)) {
        case CURLE_OPERATION_TIMEDOUT: return {Kind::timedOut, "The request timed out."};
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY: return {Kind::cannotConnect, "Could not connect to the server."};
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE: return {Kind::connectionLost, "The network connection was lost."};
        case CURLE_SSL_CONNECT_ERROR:
            return {Kind::secureConnectionFailed, "A secure connection to the server could not be made."};
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
            return {Kind::insecureConnection, "A secure connection to the server could not be made."};
        default: return {Kind::other, "The request failed."};
    }
}

void readHeaderLine(HttpResponse& response, std::string_view line) {
    if (line.starts_with("HTTP/")) {
        // A new response (after 100 Continue or a redirect, say) starts over.
        response.headers.clear();
        const auto space = line.find(' ');
        response.status =
            space == std::string_view::npos ? 0 : std::atol(std::string(line.substr(space + 1, 3)).c_str());
        return;
    }
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) {
        return;
    }
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.remove_prefix(1);
    }
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
        value.remove_suffix(1);
    }
    response.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
}

void ensureCurlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isLoopbackUrl(const std::string& url) {
    // Asks curl itself rather than Url::parse, which is stricter: what counts is where curl would
    // connect, so every address curl reads as loopback bypasses proxies.
    ensureCurlInitialised();
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return false;
    }
    char* host = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        return false;
    }
    const std::string hostName(host);
    curl_free(host);
    // Only an address in 127.0.0.0/8 itself: a name such as "127.0.0.1.example.com" resolves anywhere.
    in_addr address{};
    return hostName == "localhost" || hostName == "[::1]" ||
           (hostName.starts_with("127.") && ::inet_pton(AF_INET, hostName.c_str(), &address) == 1);
}

std::optional<std::string> HttpResponse::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (text::equalsIgnoringAsciiCase(key, name)) {
            return value;
        }
    }
    return std::nullopt;
}

HttpResponse CurlHttpClient::send(const HttpRequest& request, std::stop_token stop) {
    ensureCurlInitialised();
    if (stop.stop_requested()) {
        throw CancelledError();
    }
    const HandlePool::Lease curl = handles_->lease();
    if (!curl.get()) {
        throw HttpError(HttpError::Kind::other, "The request failed.");
    }
    Exchange exchange;
    exchange.limit = request.maxResponseBytes;
    exchange.stop = stop;

    CurlHeaderList headers;
    bool complete = true;
    for (const auto& [name, value] : request.headers) {
        complete = complete && appendHeader(headers, name + ": " + value);
    }
    // curl would otherwise add "Expect: 100-continue" to larger bodies and wait for it.
    if (!complete || !appendHeader(headers, "Expect:")) {
        throw HttpError(HttpError::Kind::other, "The request failed.");
    }

    CURL* h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
    if (request.stallTimeout) {
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME,
                         std::max<long>(1, static_cast<long>(request.stallTimeout->count())));
    }
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &exchange);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    if (isLoopbackUrl(request.url)) {
        curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    }
    if (request.caFile) {
        curl_easy_setopt(h, CURLOPT_CAINFO, request.caFile->c_str());
    }
    if (request.method == "GET") {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "HEAD") {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
    }

    const CURLcode result = curl_easy_perform(h);
    if (result == CURLE_ABORTED_BY_CALLBACK || stop.stop_requested()) {
        throw CancelledError();
    }
    if (exchange.tooLarge) {
        throw HttpError(HttpError::Kind::responseTooLarge, "The server's answer was too large.");
    }
    if (result != CURLE_OK) {
        throw transportError(result);
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &exchange.response.status);
    return std::move(exchange.response);
}

}  // namespace nudgerly
