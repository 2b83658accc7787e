#include "platform/net/DownloadResponseHeaders.h"

#include <charconv>
#include <limits>
#include <memory>
#include <system_error>

#include <curl/curl.h>

namespace nudgerly::DownloadResponseHeaders {

std::optional<int64_t> byteCount(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<ContentRange> contentRange(std::string_view text) {
    if (!text.starts_with("bytes ")) {
        return std::nullopt;
    }
    text.remove_prefix(6);
    const auto dash = text.find('-');
    const auto slash = text.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) {
        return std::nullopt;
    }
    const auto start = byteCount(text.substr(0, dash));
    if (!start) {
        return std::nullopt;
    }
    const std::string_view total = text.substr(slash + 1);
    return ContentRange{*start, total == "*" ? std::nullopt : byteCount(total)};
}

int64_t expectedBytes(const ContentRange& range, std::optional<int64_t> contentLength) {
    if (range.total) {
        return *range.total;
    }
    const bool sumFits = contentLength && *contentLength <= std::numeric_limits<int64_t>::max() - range.start;
    return sumFits ? range.start + *contentLength : -1;
}

std::string validator(const HttpResponse& response) {
    if (const auto tag = response.header("ETag"); tag && !tag->empty() && !tag->starts_with("W/")) {
        return *tag;
    }
    return response.header("Last-Modified").value_or("");
}

std::optional<std::string> resolveLocation(const std::string& base, const std::string& location) {
    ensureCurlInitialised();
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> handle(curl_url(), curl_url_cleanup);
    char* resolved = nullptr;
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, base.c_str(), 0) != CURLUE_OK ||
        curl_url_set(handle.get(), CURLUPART_URL, location.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK ||
        curl_url_get(handle.get(), CURLUPART_URL, &resolved, 0) != CURLUE_OK) {
        return std::nullopt;
    }
    std::string result(resolved);
    curl_free(resolved);
    return result;
}

}  // namespace nudgerly::DownloadResponseHeaders
